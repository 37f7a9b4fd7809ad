#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "expected_point.h"
#include "round_fixture.h"

namespace {

TEST(ModuleAlarms, NoModulesStartsWithTheBatterySeries) {
  Round round;
  const auto points = round.run(block_with_modules(0));
  ASSERT_EQ(points.size(), kFixedPoints);
  EXPECT_EQ(points.front().id, "pmz21vb_06003_temperature_1");
  EXPECT_EQ(point(points, "第1模块通讯故障").seq, 1);
  EXPECT_EQ(count_id(points, "pmz21vb_0"), 0u);
  EXPECT_EQ(count_id(points, "pmz21vb_2"), 0u);
}

TEST(ModuleAlarms, ThreeModulesFollowTheirStatusBytes) {
  Round round;
  const auto points = round.run(block_with_modules(3, {0x01, 0xFE, 0x00}));
  ASSERT_EQ(points.size(), 2 * 3 + kFixedPoints);

  struct ModulePoint {
    const char* name;
    const char* id;
    const char* code;
    bool active;
    unsigned short seq;
  };
  const ModulePoint expected[] = {
      {"第1整流模块整流模块故障告警", "pmz21vb_0", "06024", true, 1},
      {"第1整流模块整流模块通信状态告警", "pmz21vb_2", "06028", false, 1},
      {"第2整流模块整流模块故障告警", "pmz21vb_0", "06024", false, 2},
      {"第2整流模块整流模块通信状态告警", "pmz21vb_2", "06028", true, 2},
      {"第3整流模块整流模块故障告警", "pmz21vb_0", "06024", false, 3},
      {"第3整流模块整流模块通信状态告警", "pmz21vb_2", "06028", false, 3},
  };
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    SCOPED_TRACE(expected[i].name);
    EXPECT_EQ(points[i].name, expected[i].name);
    EXPECT_EQ(points[i].desc, expected[i].name);
    EXPECT_EQ(points[i].id, expected[i].id);
    EXPECT_EQ(points[i].code, expected[i].code);
    EXPECT_EQ(points[i].active, expected[i].active);
    EXPECT_EQ(points[i].seq, expected[i].seq);
  }
  EXPECT_EQ(points[6].id, "pmz21vb_06003_temperature_1");
  EXPECT_EQ(point(points, "第1模块通讯故障").seq, 4);
}

class OtherStatusByte : public testing::TestWithParam<std::uint8_t> {};

TEST_P(OtherStatusByte, LeavesBothModulePointsInactive) {
  Round round;
  const auto points = round.run(block_with_modules(1, {GetParam()}));
  EXPECT_FALSE(point(points, "第1整流模块整流模块故障告警").active);
  EXPECT_FALSE(point(points, "第1整流模块整流模块通信状态告警").active);
  EXPECT_TRUE(active_descriptions(points).empty());
}

INSTANTIATE_TEST_SUITE_P(ModuleAlarms, OtherStatusByte, testing::Values(0x00, 0x02, 0x7F, 0xFF));

TEST(ModuleAlarms, ModulesBeyondTheCountAreNotReported) {
  Round round;
  const auto points = round.run(block_with_modules(2, {0x01, 0x01, 0x01}));
  const std::vector<std::string> faults = {"第1整流模块整流模块故障告警",
                                           "第2整流模块整流模块故障告警"};
  EXPECT_EQ(active_descriptions(points), faults);
}

TEST(ModuleAlarms, CountAbove64ReportsTheSixtyFourRecords) {
  Round round;
  const auto points = round.run(block_with_modules(200, std::vector<std::uint8_t>(64, 0xFE)));
  ASSERT_EQ(points.size(), 2 * 64 + kFixedPoints);
  EXPECT_EQ(active_descriptions(points).size(), 64u);
  EXPECT_EQ(points[127].desc, "第64整流模块整流模块通信状态告警");
  EXPECT_EQ(points[128].id, "pmz21vb_06003_temperature_1");
  EXPECT_EQ(point(points, "第1模块通讯故障").seq, 65);
}

// Seams of the battery-group and module series with no modules in the block.
const ExpectedPoint kSeriesSeams[] = {
    {"第1组电池温度高", "pmz21vb_06003_temperature_1", "06003", "电池温度过高告警", 1},
    {"第8组电池温度高", "pmz21vb_06003_temperature_8", "06003", "电池温度过高告警", 8},
    {"第A1-1组电池温度高", "pmz21vb_06003_temperature_9", "06003", "电池温度过高告警", 9},
    {"第A1-4组电池回路断", "pmz21vb_06082_cut_12", "06082", "电池回路断", 12},
    {"第B1-1组电池温度传感器故障", "pmz21vb_06070_temperature_13", "06070", "电池温度传感器故障",
     13},
    {"第B1-4组电池电压传感器故障", "pmz21vb_06029_voltage_16", "06029", "其他告警", 16},
    {"第1组电池测试失败", "pmz21vb_06029_test_1", "06029", "其他告警", 17},
    {"第B1-4组电池测试失败", "pmz21vb_06029_test_16", "06029", "其他告警", 32},
    {"第1模块通讯故障", "pmz21vb_06028_comm1", "06028", "整流模块通信状态告警", 1},
    {"第64模块通讯故障", "pmz21vb_06028_comm64", "06028", "整流模块通信状态告警", 64},
    {"第1模块电压钳位", "pmz21vb_06029_voltagelimit_1", "06029", "其他告警", 33},
    {"第64模块电压钳位", "pmz21vb_06029_voltagelimit_64", "06029", "其他告警", 96},
    {"第1模块关机", "pmz21vb_06032_shutdown_1", "06032", "整流模块故障（整流模块关机）", 1},
    {"第1模块限流", "pmz21vb_06029_limit_1", "06029", "其他告警", 97},
    {"第64模块限流", "pmz21vb_06029_limit_64", "06029", "其他告警", 160},
    {"第64模块风扇故障", "pmz21vb_06025_fan_64", "06025", "整流模块风扇告警", 64},
    {"第1模块熔丝断", "pmz21vb_06007_fuse_1", "06007", "负载熔丝故障告警", 1},
    {"第64模块熔丝断", "pmz21vb_06007_fuse_64", "06007", "负载熔丝故障告警", 64},
};

class SeriesSeam : public testing::TestWithParam<ExpectedPoint> {};

TEST_P(SeriesSeam, CarriesItsTextsAndSequenceNumber) {
  static const std::vector<rule_value> points = Round{}.run(block_with_modules(0));
  expect_reported(points, GetParam());
}

INSTANTIATE_TEST_SUITE_P(ModuleAlarms, SeriesSeam, testing::ValuesIn(kSeriesSeams));

TEST(ModuleAlarms, GroupReports464SeriesPointsAfterTheModules) {
  Round round;
  const auto points = round.run(block_with_modules(3));
  EXPECT_EQ(position(points, "第1组电池温度高"), 6u);
  EXPECT_EQ(position(points, "第64模块熔丝断"), 6u + 464 - 1);
  EXPECT_EQ(points[6 + 464].id, "pmz21vb_06014_ac1high_1");
}

}  // namespace
