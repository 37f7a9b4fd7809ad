#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "expected_point.h"
#include "round_fixture.h"

namespace {

// With three modules in the block the AC group starts at 2 × 3 + 464.
constexpr std::size_t kAcStart = 6 + 464;
constexpr std::size_t kAcPoints = 115;

const std::vector<rule_value>& round_points() {
  static const std::vector<rule_value> points =
      Round{}.run(block_with_modules(3, {0x01, 0xFE, 0x01}));
  return points;
}

TEST(AcAlarms, ReportsOneScreenOf115Points) {
  const auto& points = round_points();
  EXPECT_EQ(position(points, "交流屏1AC1过压"), kAcStart);
  EXPECT_EQ(position(points, "交流屏1分路空开72告警"), kAcStart + kAcPoints - 1);
  EXPECT_EQ(points[kAcStart + kAcPoints].id, "pmz21vb_06011_dccomm_1");
  for (std::size_t i = kAcStart; i < kAcStart + kAcPoints; ++i) {
    EXPECT_EQ(points[i].id.str().back(), '1') << points[i].desc;
    EXPECT_EQ(points[i].desc.str().rfind("交流屏1", 0), 0u) << points[i].desc;
  }
}

TEST(AcAlarms, SharedIdentifiersAreReportedForEveryPoint) {
  const auto& points = round_points();
  EXPECT_EQ(count_id(points, "pmz21vb_06007_branchoutput_1"), 72u);
  EXPECT_EQ(point(points, "交流屏1零线电流过高").id, "pmz21vb_06014_ia_1");
  EXPECT_EQ(point(points, "交流屏1交流总电流A过大").id, "pmz21vb_06014_ia_1");
  EXPECT_EQ(point(points, "交流屏1ATS手动状态故障").id, "pmz21vb_06029_ats_cut_1");
  EXPECT_EQ(point(points, "交流屏1ATS断开位置故障").id, "pmz21vb_06029_ats_cut_1");
}

const ExpectedPoint kAcSeams[] = {
    {"交流屏1AC1过压", "pmz21vb_06014_ac1high_1", "06014", "交流输入电压过高告警", 1},
    {"交流屏1AC1低压", "pmz21vb_06015_ac1low_1", "06015", "交流输入电压过低告警", 1},
    {"交流屏1AC2欠压", "pmz21vb_06015_ac2low_1", "06015", "交流输入电压过低告警", 2},
    {"交流屏1AC1缺相", "pmz21vb_06017_ac1miss_1", "06017", "交流输入缺相告警", 1},
    {"交流屏1AC1相间不平衡", "pmz21vb_06017_ac1unbalance_1", "06018", "交流输入频率过高告警", 2},
    {"交流屏1AC2相间不平衡", "pmz21vb_06017_ac2unbalance_1", "06018", "交流输入频率过高告警", 4},
    // Counted under "06016" while reported as "06017".
    {"交流屏1AC1停电", "pmz21vb_06017_ac1off_1", "06017", "交流输入停电告警", 1},
    {"交流屏1AC2停电", "pmz21vb_06017_ac2off_1", "06017", "交流输入停电告警", 2},
    {"交流屏1AC2缺相", "pmz21vb_06017_ac2miss_1", "06017", "交流输入缺相告警", 2},
    {"交流屏1AC1输入空开跳脱", "pmz21vb_06017_ac1jump_1", "06013", "交流输入空开跳告警", 1},
    {"交流屏1AC2输入空开跳脱", "pmz21vb_06017_ac2jump_1", "06013", "交流输入空开跳告警", 2},
    {"交流屏1AC2瞬间高压", "pmz21vb_06014_ac2suddenhigh_1", "06014", "交流输入电压过高告警", 4},
    {"交流屏1交流总电流A过大", "pmz21vb_06014_ia_1", "06006", "负载电流过高告警", 1},
    {"交流屏1零线电流过高", "pmz21vb_06014_ia_1", "06006", "负载电流过高告警", 4},
    // "06029" continues from the module series.
    {"交流屏1ATS_AC1位置故障", "pmz21vb_06029_ats_ac1_1", "06029", "其他告警", 161},
    {"交流屏1测试状态告警", "pmz21vb_06029_testdevice_1", "06029", "其他告警", 166},
    // Name and description are both label + literal in these two rows.
    {"交流屏1分路电流告警", "pmz21vb_06006_bi_1", "06006", "交流屏1分路电流告警", 5},
    {"交流屏1ATS输出总空开跳脱", "pmz21vb_06007_atsoutputjump_1", "06007",
     "交流屏1ATS输出总空开跳脱", 65},
    {"交流屏1ATS控制器供电异常", "pmz21vb_06029_astinputabnormal_1", "06029", "其他告警", 167},
    {"交流屏1辅助电源2告警", "pmz21vb_06029_apower2fail_1", "06029", "其他告警", 177},
    {"交流屏1避雷器1告警", "pmz21vb_06022_lignthningrod1_1", "06022", "防雷器故障告警", 1},
    {"交流屏1避雷器2告警", "pmz21vb_06022_lignthningrod2_1", "06022", "防雷器故障告警", 2},
    {"交流屏1输入空开1告警", "pmz21vb_06007_output1_1", "06007", "负载熔丝故障告警", 66},
    {"交流屏1输入空开2告警", "pmz21vb_06007_output2_1", "06007", "负载熔丝故障告警", 67},
    {"交流屏1分路空开1告警", "pmz21vb_06007_branchoutput_1", "06007", "负载熔丝故障告警", 68},
    {"交流屏1分路空开72告警", "pmz21vb_06007_branchoutput_1", "06007", "负载熔丝故障告警", 139},
};

class AcSeam : public testing::TestWithParam<ExpectedPoint> {};

TEST_P(AcSeam, CarriesItsTextsAndSequenceNumber) { expect_reported(round_points(), GetParam()); }

INSTANTIATE_TEST_SUITE_P(AcAlarms, AcSeam, testing::ValuesIn(kAcSeams));

}  // namespace
