#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "expected_point.h"
#include "round_fixture.h"

namespace {

// With no modules the DC group starts after 464 + 115 points.
constexpr std::size_t kDcStart = 464 + 115;
constexpr std::size_t kDcPoints = 496;
constexpr std::size_t kScreenTailPoints = 51;  // battery, cabinets, environment

const std::vector<rule_value>& round_points() {
  static const std::vector<rule_value> points = Round{}.run(block_with_modules(0));
  return points;
}

TEST(DcAlarms, ReportsCommunicationScreenBranchesAndPaths) {
  const auto& points = round_points();
  EXPECT_EQ(position(points, "直流配电屏1通讯故障"), kDcStart);
  EXPECT_EQ(position(points, "直流配电屏1直流高压"), kDcStart + 1);
  EXPECT_EQ(position(points, "直流配电屏1分路1开关异常"), kDcStart + 6);
  EXPECT_EQ(position(points, "直流配电屏1分路B-80电流过流"), kDcStart + 6 + 480 - 1);
  EXPECT_EQ(position(points, "直流配电屏1B路避雷器异常"), kDcStart + kDcPoints - 1);
  for (const char* id : {"pmz21vb_06007_dcoutput_a_1", "pmz21vb_06006_dcovercurrent_a_1",
                         "pmz21vb_06007_dcoutput_b_1", "pmz21vb_06006_dcovercurrent_b_1"})
    EXPECT_EQ(count_id(points, id), 80u) << id;
}

TEST(DcAlarms, ScreenPassEndsWithBatteryCabinetAndEnvironmentPoints) {
  const auto& points = round_points();
  const std::size_t tail = kDcStart + kDcPoints;
  EXPECT_EQ(position(points, "直流配电屏1电池组1放电告警"), tail);
  EXPECT_EQ(position(points, "直流配电屏1电池组1开关异常"), tail + 8);
  EXPECT_EQ(position(points, "1号列头柜通讯故障"), tail + 16);
  EXPECT_EQ(position(points, "32号列头柜通讯故障"), tail + 47);
  EXPECT_EQ(position(points, "直流配电屏1环境温度传感器故障"), tail + kScreenTailPoints - 1);
  EXPECT_EQ(points[tail + kScreenTailPoints].id, "pmz21vb_06016_acdown_17");
}

TEST(DcAlarms, NothingIsCountedUnder06010) {
  const auto& points = round_points();
  std::vector<unsigned short> seqs;
  for (const rule_value& value : points)
    if (value.code == "06010") seqs.push_back(value.seq);
  EXPECT_EQ(seqs, std::vector<unsigned short>{382});
}

TEST(DcAlarms, SwitchAndDischargeIdentifiersRunInTableOrder) {
  const auto& points = round_points();
  const std::size_t tail = kDcStart + kDcPoints;
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(points[tail + i].id, "pmz21vb_06005_discharge_" + std::to_string(505 + i) + "_1");
    EXPECT_EQ(points[tail + 8 + i].id, "pmz21vb_06038_switch_" + std::to_string(513 + i) + "_1");
  }
}

const ExpectedPoint kDcSeams[] = {
    {"直流配电屏1通讯故障", "pmz21vb_06011_dccomm_1", "06011", "直流屏通讯中断告警", 1},
    {"直流配电屏1直流高压", "pmz21vb_06042_1_1", "06042", "系统输出电压过高", 1},
    {"直流配电屏1直流低压", "pmz21vb_06043_2_1", "06043", "系统输出电压过低", 1},
    {"直流配电屏1输入开关异常", "pmz21vb_06007_dc_3_1", "06007", "负载熔丝故障告警", 140},
    {"直流配电屏1总负载过流", "pmz21vb_06006_dc_4_1", "06006", "负载电流过高告警", 6},
    {"直流配电屏1避雷器异常", "pmz21vb_06022_dc_5_1", "06022", "防雷器故障告警", 3},
    {"直流配电屏1分路1开关异常", "pmz21vb_06007_dcouput_1_1", "06007", "负载熔丝故障告警", 141},
    {"直流配电屏1分路1电流过流", "pmz21vb_06006_dcovercurrent_1_1", "06006", "负载电流过高告警", 7},
    {"直流配电屏1分路A-1开关异常", "pmz21vb_06007_dcoutput_a_1", "06007", "负载熔丝故障告警", 142},
    {"直流配电屏1分路A-1电流过流", "pmz21vb_06006_dcovercurrent_a_1", "06006", "负载电流过高告警",
     8},
    {"直流配电屏1分路B-1开关异常", "pmz21vb_06007_dcoutput_b_1", "06007", "负载熔丝故障告警", 143},
    {"直流配电屏1分路B-1电流过流", "pmz21vb_06006_dcovercurrent_b_1", "06006", "负载电流过高告警",
     9},
    {"直流配电屏1分路80开关异常", "pmz21vb_06007_dcouput_1_80", "06007", "负载熔丝故障告警", 378},
    {"直流配电屏1分路80电流过流", "pmz21vb_06006_dcovercurrent_1_80", "06006", "负载电流过高告警",
     244},
    {"直流配电屏1分路B-80开关异常", "pmz21vb_06007_dcoutput_b_1", "06007", "负载熔丝故障告警", 380},
    {"直流配电屏1分路B-80电流过流", "pmz21vb_06006_dcovercurrent_b_1", "06006", "负载电流过高告警",
     246},
    {"直流配电屏1A路直流高压", "pmz21vb_06042_dc_169_1", "06042", "系统输出电压过高", 2},
    {"直流配电屏1A路输入开关异常", "pmz21vb_06007_dc_171_1", "06007", "负载熔丝故障告警", 381},
    {"直流配电屏1A路总负载过流", "pmz21vb_06006_dc_172_1", "06006", "负载电流过高告警", 247},
    {"直流配电屏1A路避雷器异常", "pmz21vb_06022_dc_173_1", "06022", "防雷器故障告警", 4},
    {"直流配电屏1B路直流低压", "pmz21vb_06043_dc_338_1", "06043", "系统输出电压过低", 3},
    // Reported as "06010", counted under "06007".
    {"直流配电屏1B路输入开关异常", "pmz21vb_06007_dc_339_1", "06010", "负载熔丝故障告警", 382},
    {"直流配电屏1B路总负载过流", "pmz21vb_06006_dc_340_1", "06006", "负载电流过高告警", 248},
    {"直流配电屏1B路避雷器异常", "pmz21vb_06022_dc_341_1", "06022", "防雷器故障告警", 5},
    {"直流配电屏1电池组1放电告警", "pmz21vb_06005_discharge_505_1", "06005", "电池供电告警", 1},
    {"直流配电屏1电池组B2放电告警", "pmz21vb_06005_discharge_512_1", "06005", "电池供电告警", 8},
    {"直流配电屏1电池组1开关异常", "pmz21vb_06038_switch_513_1", "06038", "电池开关断开", 1},
    {"直流配电屏1电池组B2开关异常", "pmz21vb_06038_switch_520_1", "06038", "电池开关断开", 8},
    {"1号列头柜通讯故障", "pmz21vb_06038_lietou_520_1_1", "06035", "1号列头柜通讯故障", 1},
    {"32号列头柜通讯故障", "pmz21vb_06038_lietou_520_1_32", "06035", "32号列头柜通讯故障", 32},
    {"直流配电屏1环境高温告警", "pmz21vb_06039_553_1", "环境温度过高", "直流配电屏1环境高温告警", 1},
    {"直流配电屏1环境低温告警", "pmz21vb_06039_554_1", "环境温度过高", "直流配电屏1环境低温告警", 2},
    {"直流配电屏1环境温度传感器故障", "pmz21vb_06039_555_1", "环境温度过高",
     "直流配电屏1环境温度传感器故障", 3},
};

class DcSeam : public testing::TestWithParam<ExpectedPoint> {};

TEST_P(DcSeam, CarriesItsTextsAndSequenceNumber) { expect_reported(round_points(), GetParam()); }

INSTANTIATE_TEST_SUITE_P(DcAlarms, DcSeam, testing::ValuesIn(kDcSeams));

}  // namespace
