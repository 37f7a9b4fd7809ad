#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "outputs/snmp/snmp_alarm_pairing.h"

namespace gw = qmr4100::gateway;

namespace {

constexpr unsigned int kDataId = 1000;

rule_value fault(unsigned short seq) {
  return rule_value(1, "pmz21vb_06003_module_2", "06003", "整流模块故障", "2号整流模块故障", true,
                    seq);
}

gw::AlarmChange change(bool raised, int second) {
  return {fault(2), raised, gw::WallClock::time_point(std::chrono::seconds(second))};
}

// A master that is there or not; what reached it, as "R@time" and "C@time".
struct Master {
  bool there = true;
  std::vector<std::string> got;

  bool operator()(const gw::AlarmChange& sent) {
    if (!there) return false;
    const auto second = std::chrono::duration_cast<std::chrono::seconds>(
        sent.time.time_since_epoch()).count();
    got.push_back((sent.raised ? "R@" : "C@") + std::to_string(second));
    return true;
  }
};

TEST(SnmpAlarmPairing, NeverSendsAClearWithoutItsRaise) {
  struct Step {
    bool there;
    bool raised;
    int second;
  };
  const struct {
    const char* name;
    std::vector<Step> steps;
    std::vector<std::string> got;
  } cases[] = {
      {"both while there", {{true, true, 10}, {true, false, 20}}, {"R@10", "C@20"}},
      {"raise while away, clear after it came back",
       {{false, true, 10}, {true, false, 20}},
       {"R@10", "C@20"}},
      {"both while away", {{false, true, 10}, {false, false, 20}}, {}},
      {"raise sent, clear while away", {{true, true, 10}, {false, false, 20}}, {"R@10"}},
      {"raise while away, the master back, then raised anew",
       {{false, true, 10}, {true, false, 20}, {true, true, 30}, {true, false, 40}},
       {"R@10", "C@20", "R@30", "C@40"}},
      {"a clear of an alarm raised before the start", {{true, false, 20}}, {"C@20"}},
  };
  for (const auto& c : cases) {
    gw::SnmpAlarmPairing pairing;
    Master master;
    for (const Step& step : c.steps) {
      master.there = step.there;
      pairing.Pass(kDataId, change(step.raised, step.second),
                   [&master](const gw::AlarmChange& sent) { return master(sent); });
    }
    EXPECT_EQ(master.got, c.got) << c.name;
  }
}

}  // namespace
