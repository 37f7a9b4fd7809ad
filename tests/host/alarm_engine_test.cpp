#include "host/AlarmEngine.h"

#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

rule_value point(const std::string& code, unsigned short seq, const std::string& desc, bool active,
                 const std::string& id = "pmz21vb_06003_temperature_1") {
  return rule_value{2, id, code, "温度告警", desc, active, seq};
}

// 'R' raised, 'C' cleared, '-' no change; one character per batch.
struct StateRun {
  const char* name;
  std::vector<bool> states;
  std::string expected;
};

const StateRun kRuns[] = {
    {"unseen inactive point is no change", {false}, "-"},
    {"first sight of an active point raises", {true}, "R"},
    {"staying active changes nothing", {true, true, true}, "R--"},
    {"active then inactive clears", {true, false}, "RC"},
    {"staying inactive changes nothing", {false, false}, "--"},
    {"raised again after a clear", {true, false, true}, "RCR"},
};

TEST(AlarmEngine, TransitionsFollowTheLastState) {
  for (const StateRun& run : kRuns) {
    SCOPED_TRACE(run.name);
    AlarmEngine engine;
    std::string seen;
    for (bool active : run.states) {
      const auto changes = engine.Apply({point("06003", 1, "1#模块温度", active)});
      ASSERT_LE(changes.size(), 1u);
      seen += changes.empty() ? '-' : changes.front().raised ? 'R' : 'C';
    }
    EXPECT_EQ(seen, run.expected);
  }
}

TEST(AlarmEngine, PointsSharingAnIdentifierStayApart) {
  AlarmEngine engine;
  // Same identifier and code; the sequence number or the description tells them apart.
  const std::vector<rule_value> first = {point("06003", 1, "1#模块", true),
                                         point("06003", 2, "1#模块", false),
                                         point("06003", 1, "2#模块", false)};
  const auto raised = engine.Apply(first);
  ASSERT_EQ(raised.size(), 1u);
  EXPECT_EQ(raised[0].point.seq, 1);
  EXPECT_EQ(raised[0].point.desc, "1#模块");

  const std::vector<rule_value> second = {point("06003", 1, "1#模块", false),
                                          point("06003", 2, "1#模块", true),
                                          point("06003", 1, "2#模块", true)};
  const auto changes = engine.Apply(second);
  ASSERT_EQ(changes.size(), 3u);
  EXPECT_FALSE(changes[0].raised);
  EXPECT_TRUE(changes[1].raised);
  EXPECT_TRUE(changes[2].raised);
  EXPECT_EQ(engine.Active().size(), 2u);
}

TEST(AlarmEngine, ActiveHoldsTheLatestEvaluation) {
  AlarmEngine engine;
  engine.Apply({point("01001", 1, "a", true, "first_id"), point("01002", 1, "b", false)});
  engine.Apply({point("01001", 1, "a", true, "renamed_id")});
  const auto active = engine.Active();
  ASSERT_EQ(active.size(), 1u);
  EXPECT_EQ(active[0].id, "renamed_id");
}

// Points an earlier run left active raise nothing again; only changes count.
TEST(AlarmEngine, RestoredPointsChangeOnlyWhenTheirStateDoes) {
  AlarmEngine engine;
  engine.Restore({point("06003", 1, "1#模块", true), point("06003", 2, "1#模块", true)});
  const auto changes = engine.Apply({point("06003", 1, "1#模块", true),
                                     point("06003", 2, "1#模块", false),
                                     point("06003", 3, "1#模块", true)});
  ASSERT_EQ(changes.size(), 2u);
  EXPECT_FALSE(changes[0].raised);
  EXPECT_EQ(changes[0].point.seq, 2);
  EXPECT_TRUE(changes[1].raised);
  EXPECT_EQ(changes[1].point.seq, 3);
}

TEST(AlarmEngine, ConcurrentBatchesLoseNothing) {
  constexpr int kThreads = 4;
  constexpr unsigned short kPointsPerThread = 200;
  AlarmEngine engine;
  std::vector<std::size_t> raised(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&engine, &raised, t] {
      std::vector<rule_value> batch;
      for (unsigned short seq = 1; seq <= kPointsPerThread; ++seq)
        batch.push_back(point("code" + std::to_string(t), seq, "d", true));
      // One point per call, so that the threads interleave.
      for (const rule_value& one : batch) raised[t] += engine.Apply({one}).size();
    });
  }
  for (auto& thread : threads) thread.join();
  for (std::size_t count : raised) EXPECT_EQ(count, kPointsPerThread);
  EXPECT_EQ(engine.Active().size(), std::size_t{kThreads} * kPointsPerThread);
}

}  // namespace
