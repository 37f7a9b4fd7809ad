#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "round_fixture.h"

namespace {

// The last group: its points in report order with code and sequence number,
// which follow from what the earlier groups counted.
struct SystemPoint {
  const char* id;
  const char* code;
  unsigned short seq;
};

constexpr SystemPoint kSystemPoints[] = {
    {"pmz21vb_06016_acdown_17", "06016", 3}, {"pmz21vb_06029_18", "06029", 178},
    {"pmz21vb_06029_19", "06029", 179},      {"pmz21vb_06004_20", "06005", 9},
    {"pmz21vb_06029_21", "06005", 10},       {"pmz21vb_06002_22", "06002", 1},
    {"pmz21vb_06004_23", "06004", 1},        {"pmz21vb_06029_24", "06029", 180},
    {"pmz21vb_06029_25", "06029", 181},      {"pmz21vb_06029_26", "06029", 182},
    {"pmz21vb_06006_27", "06006", 249},      {"pmz21vb_06029_28", "06029", 183},
    {"pmz21vb_06029_29", "06029", 184},      {"pmz21vb_06029_30", "06029", 185},
    {"pmz21vb_06029_31", "06029", 186},      {"pmz21vb_06023_32", "06023", 1},
    {"pmz21vb_06029_34", "06029", 187},      {"pmz21vb_06029_35", "06029", 188},
};
constexpr std::size_t kSystemCount = std::size(kSystemPoints);

class SystemAlarms : public testing::TestWithParam<int> {};

// The module count changes only the per-module codes, never these numbers.
TEST_P(SystemAlarms, CloseTheRoundWithTheirSequenceNumbers) {
  Round round;
  const auto points = round.run(block_with_modules(static_cast<std::uint8_t>(GetParam())));
  ASSERT_GE(points.size(), kSystemCount);
  const std::size_t first = points.size() - kSystemCount;
  EXPECT_EQ(points[first - 1].id, "pmz21vb_06039_555_1");
  for (std::size_t i = 0; i < kSystemCount; ++i) {
    const rule_value& reported = points[first + i];
    SCOPED_TRACE(kSystemPoints[i].id);
    EXPECT_EQ(reported.id, kSystemPoints[i].id);
    EXPECT_EQ(reported.code, kSystemPoints[i].code);
    EXPECT_EQ(reported.seq, kSystemPoints[i].seq);
    EXPECT_FALSE(reported.active);
  }
}

INSTANTIATE_TEST_SUITE_P(ModuleCounts, SystemAlarms, testing::Values(0, 3, 64));

TEST(SystemAlarmTexts, NameAndDescriptionDifferOnlyForPoints17And20) {
  Round round;
  const auto points = round.run(block_with_modules(0));
  const rule_value acdown = point(points, "整流屏交流中断");
  EXPECT_EQ(acdown.name, "交流输入停电告警");
  const rule_value battery = point(points, "开关电源处于电池供电中");
  EXPECT_EQ(battery.name, "电池供电告警");
  for (std::size_t i = points.size() - kSystemCount; i < points.size(); ++i) {
    if (points[i].id == acdown.id || points[i].id == battery.id) continue;
    EXPECT_EQ(points[i].name, points[i].desc) << points[i].id;
  }
  EXPECT_EQ(points.back().desc, "模块地址配置错误");
  EXPECT_EQ(point(points, "Flash存储故障").id, "pmz21vb_06029_34");
}

}  // namespace
