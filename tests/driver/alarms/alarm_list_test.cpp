#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "round_fixture.h"

namespace {

struct ListCase {
  const char* what;
  std::vector<alarm_item> entries;     // unit, kind, index
  std::vector<std::string> activated;  // descriptions, in report order
};

std::ostream& operator<<(std::ostream& out, const ListCase& c) { return out << c.what; }

const ListCase kListCases[] = {
    {"series by kind, unit ignored", {{7, 1, 9}, {0, 6, 64}, {0, 11, 65}},
     {"第A1-1组电池温度高", "第64模块通讯故障"}},
    {"series kinds stay apart", {{0, 5, 1}, {0, 7, 2}},
     {"第1组电池测试失败", "第2模块电压钳位"}},
    {"AC screen kind 12 with unit 1", {{1, 12, 4}, {1, 12, 59}, {1, 12, 89}, {1, 12, 160}},
     {"交流屏1AC1低压", "交流屏1分路电流告警", "交流屏1分路空开1告警", "交流屏1分路空开72告警"}},
    {"AC entries of another unit", {{2, 12, 1}, {0, 12, 4}}, {}},
    {"AC index between rows", {{1, 12, 2}, {1, 12, 70}}, {}},
    {"DC communication kind 13 by screen number", {{5, 13, 1}}, {"直流配电屏1通讯故障"}},
    {"DC communication of a second screen", {{1, 13, 2}}, {}},
    {"DC screen points and per-branch offsets",
     {{1, 14, 1}, {1, 14, 5}, {1, 14, 9}, {1, 14, 168}, {1, 14, 341}},
     {"直流配电屏1直流高压", "直流配电屏1避雷器异常", "直流配电屏1分路1开关异常",
      "直流配电屏1分路80电流过流", "直流配电屏1B路避雷器异常"}},
    {"DC screen entry of another unit", {{2, 14, 1}, {0, 14, 9}}, {}},
    {"DC battery, cabinet and environment offsets",
     {{1, 14, 505}, {1, 14, 520}, {1, 14, 521}, {1, 14, 552}, {1, 14, 555}},
     {"直流配电屏1电池组1放电告警", "直流配电屏1电池组B2开关异常", "1号列头柜通讯故障",
      "32号列头柜通讯故障", "直流配电屏1环境温度传感器故障"}},
    {"system points by kind, index ignored", {{0, 17, 999}, {3, 35, 0}},
     {"整流屏交流中断", "模块地址配置错误"}},
    {"kinds no point uses", {{1, 15, 1}, {1, 16, 1}, {1, 33, 1}, {1, 36, 1}}, {}},
};

class FilledAlarmList : public testing::TestWithParam<ListCase> {};

TEST_P(FilledAlarmList, ActivatesExactlyItsPoints) {
  Round round;
  round.device->AlarmList() = GetParam().entries;
  const auto points = round.run(block_with_modules(0));
  ASSERT_EQ(points.size(), kFixedPoints);
  EXPECT_EQ(active_descriptions(points), GetParam().activated);
}

INSTANTIATE_TEST_SUITE_P(AlarmList, FilledAlarmList, testing::ValuesIn(kListCases));

// The A- and B- points search one offset for every branch, so one entry
// raises all 80 of them.
TEST(AlarmList, SharedBranchOffsetRaisesEveryBranch) {
  Round round;
  round.device->AlarmList() = {{1, 14, 176}, {1, 14, 424}};
  const auto points = round.run(block_with_modules(0));
  std::vector<std::string> expected;
  for (int k = 1; k <= 80; ++k) {
    const std::string number = std::to_string(k);
    expected.push_back("直流配电屏1分路A-" + number + "开关异常");
    expected.push_back("直流配电屏1分路B-" + number + "电流过流");
  }
  EXPECT_EQ(active_descriptions(points), expected);
}

TEST(AlarmList, ModulePointsStillFollowTheBlock) {
  Round round;
  round.device->AlarmList() = {{1, 6, 1}};
  const auto points = round.run(block_with_modules(1, {0x00}));
  EXPECT_EQ(active_descriptions(points), std::vector<std::string>{"第1模块通讯故障"});
}

}  // namespace
