// Whole polling cycles of the plug-in against the simulator, through frames.
#include <gtest/gtest.h>

#include "driver_line.h"
#include "scenarios.h"

namespace {

using qmr4100::sim::compare_block;

class ModuleCountCycle : public ::testing::TestWithParam<std::size_t> {};

TEST_P(ModuleCountCycle, PublishesTheExpectedBlock) {
  DriverLine line(with_modules(GetParam()));
  ASSERT_TRUE(line.run_cycle());
  EXPECT_EQ(line.simulator.cycle(), 1);
  EXPECT_EQ(compare_block(line.published(), line.simulator.expected_block(1)), std::nullopt);
  EXPECT_EQ(compare_block(line.published(), line.simulator.scenario(), 1), std::nullopt);
}

TEST_P(ModuleCountCycle, PublishesAgainInTheNextCycle) {
  DriverLine line(with_modules(GetParam()));
  ASSERT_TRUE(line.run_cycle());
  ASSERT_TRUE(line.run_cycle());
  EXPECT_EQ(line.simulator.cycle(), 2);
  EXPECT_EQ(compare_block(line.published(), line.simulator.expected_block(2)), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Modules, ModuleCountCycle, ::testing::Values(0, 2, 64));

TEST(DriverCycle, SendsTheEightCommandsInOrder) {
  DriverLine line(with_modules(2));
  ASSERT_TRUE(line.run_cycle());
  std::vector<std::uint8_t> commands;
  for (const auto& frame : line.controller->sent) commands.push_back(ydt1363::decode(frame).frame.cid2);
  EXPECT_EQ(commands, (std::vector<std::uint8_t>{0x42, 0x43, 0x44, 0x91, 0x95, 0x9C, 0x86, 0xA2}));
}

// The default scenario raises module 2's fault in cycles 3 and 4 and ramps
// the system value 53.1, 53.2, ... over cycles 1 to 5.
TEST(DriverCycle, ScriptedAlarmRisesAndClears) {
  DriverLine line(qmr4100::sim::default_scenario());
  const std::size_t status_of_module_2 =
      qmr4100::layout::module_record(1) + qmr4100::layout::kModuleStatus;
  const std::uint8_t expected_status[] = {0, 0, 1, 1, 0, 0};
  const float expected_value[] = {53.1f, 53.2f, 53.3f, 53.4f, 53.5f, 53.5f};
  for (int cycle = 1; cycle <= 6; ++cycle) {
    SCOPED_TRACE(cycle);
    ASSERT_TRUE(line.run_cycle());
    const auto block = line.published();
    EXPECT_EQ(compare_block(block, line.simulator.expected_block(cycle)), std::nullopt);
    EXPECT_EQ(block[status_of_module_2], expected_status[cycle - 1]);
    EXPECT_FLOAT_EQ(qmr4100::get_f32le(block, qmr4100::layout::kSystemValue),
                    expected_value[cycle - 1]);
  }
}

TEST(DriverCycle, DifferingBlockIsReported) {
  DriverLine line(with_modules(2));
  ASSERT_TRUE(line.run_cycle());
  auto other = line.simulator.scenario();
  other.modules[1].status = 0x55;
  const auto difference = compare_block(line.published(), qmr4100::sim::expected_block(other, 1));
  ASSERT_TRUE(difference.has_value());
  EXPECT_NE(difference->find("module 2 byte 7"), std::string::npos) << *difference;
}

}  // namespace
