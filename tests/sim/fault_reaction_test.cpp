// Each fault kind against the plug-in: what the driver does with the damaged
// cycle, and that the cycle after it publishes the expected block again.
#include <gtest/gtest.h>

#include "driver_line.h"
#include "scenarios.h"

namespace {

using qmr4100::sim::Fault;
using qmr4100::sim::FaultPlan;

struct Reaction {
  Fault fault;
  bool publishes;        // the faulty cycle still completes
  int step;              // the driver's protocol step after the faulty cycle
  std::uint8_t stalled;  // the command whose answer ended the cycle
  bool error_line;       // the driver printed a protocol error
};

// Step 1 with 0x42 as last command: the answer never arrived or was thrown away.
constexpr Reaction kReactions[] = {
    {Fault::Noise, true, 8, 0xA2, false},
    {Fault::Split, true, 8, 0xA2, false},
    {Fault::Echo, true, 8, 0xA2, false},
    {Fault::Delay, true, 8, 0xA2, false},
    {Fault::ErrorCode, false, 1, 0x42, false},
    {Fault::BadChecksum, false, 1, 0x42, false},
    {Fault::Drop, false, 1, 0x42, false},
    {Fault::PortBounce, false, 1, 0x42, false},
    {Fault::ModulesAbove64, false, 0, 0x42, true},
    {Fault::ShortAnswer, false, 0, 0x42, true},
    {Fault::CountMismatch, false, 0, 0x43, true},
    {Fault::EntriesAbove50, false, 0, 0x9C, true},
};

class FaultReaction : public ::testing::TestWithParam<Reaction> {};

TEST_P(FaultReaction, DriverReactsAndRecoversInTheNextCycle) {
  const Reaction& r = GetParam();
  DriverLine line(with_modules(3), FaultPlan{{{r.fault, 1.0}}, 7});

  ::testing::internal::CaptureStdout();
  const bool published = line.run_cycle();
  const std::string console = ::testing::internal::GetCapturedStdout();

  EXPECT_GE(line.simulator.injected(r.fault), 1u);
  EXPECT_EQ(published, r.publishes);
  EXPECT_EQ(line.device->Step(), r.step);
  EXPECT_EQ(line.last_command(), r.stalled);
  EXPECT_EQ(console.find("ProcotolError") != std::string::npos, r.error_line) << console;
  if (published) {
    EXPECT_EQ(qmr4100::sim::compare_block(line.published(), line.simulator.expected_block(1)),
              std::nullopt);
  }

  line.simulator.set_faults({});
  ::testing::internal::CaptureStdout();
  ASSERT_TRUE(line.run_cycle());
  ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(qmr4100::sim::compare_block(line.published(),
                                        line.simulator.expected_block(line.simulator.cycle())),
            std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(EveryKind, FaultReaction, ::testing::ValuesIn(kReactions),
                         [](const auto& info) {
                           std::string name = qmr4100::sim::fault_name(info.param.fault);
                           name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
                           return name;
                         });

TEST(FaultEffects, DelayedAnswerWaitsTheConfiguredTime) {
  DriverLine line(with_modules(1), FaultPlan{{{Fault::Delay, 1.0}}, 1});
  line.simulator.set_delay(std::chrono::milliseconds(1234));
  ASSERT_TRUE(line.run_cycle());
  ASSERT_FALSE(line.written.empty());
  EXPECT_EQ(line.written.front().delay, std::chrono::milliseconds(1234));
}

TEST(FaultEffects, PortBounceIsSignalledInsteadOfAnAnswer) {
  DriverLine line(with_modules(1), FaultPlan{{{Fault::PortBounce, 1.0}}, 1});
  line.run_cycle();
  ASSERT_EQ(line.written.size(), 1u);
  EXPECT_TRUE(line.written.front().bounce_port);
  EXPECT_TRUE(line.written.front().bytes.empty());
}

// Echo of every command before its answer: the driver sees its own 0x42
// again, restarts at step 1, and still completes cycle after cycle.
TEST(FaultEffects, EchoOnEveryCommandStillCompletesCycles) {
  DriverLine line(with_modules(2), FaultPlan{{{Fault::Echo, 1.0}}, 1});
  for (int cycle = 1; cycle <= 3; ++cycle) {
    ::testing::internal::CaptureStdout();
    ASSERT_TRUE(line.run_cycle());
    ::testing::internal::GetCapturedStdout();
  }
  EXPECT_EQ(line.simulator.injected(Fault::Echo), 24u);
  EXPECT_EQ(qmr4100::sim::compare_block(line.published(), line.simulator.expected_block(3)),
            std::nullopt);
}

// Faults at a rate below 1 mixed over many cycles: whatever completes
// publishes the expected block.
TEST(FaultEffects, MixedFaultsNeverPublishAWrongBlock) {
  FaultPlan plan = qmr4100::sim::parse_faults(
      "noise:0.3,split:0.3,echo:0.5,error-code:0.02,bad-checksum:0.02,drop:0.02,"
      "count-mismatch:0.05,modules-above-64:0.05,entries-above-50:0.05");
  plan.seed = 42;
  DriverLine line(with_modules(4), plan);
  int published = 0;
  for (int i = 0; i < 40; ++i) {
    ::testing::internal::CaptureStdout();
    const bool done = line.run_cycle();
    ::testing::internal::GetCapturedStdout();
    if (!done) continue;
    ++published;
    ASSERT_EQ(qmr4100::sim::compare_block(line.published(),
                                          line.simulator.expected_block(line.simulator.cycle())),
              std::nullopt);
  }
  EXPECT_GT(published, 0);
  EXPECT_LT(published, 40);
}

}  // namespace
