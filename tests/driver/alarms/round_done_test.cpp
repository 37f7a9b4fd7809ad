#include <cstdint>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "driver/snapshot_layout.h"
#include "round_fixture.h"

namespace layout = qmr4100::layout;

namespace {

void expect_same_points(const std::vector<rule_value>& actual,
                        const std::vector<rule_value>& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (std::size_t i = 0; i < actual.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(actual[i].level, expected[i].level);
    EXPECT_EQ(actual[i].id, expected[i].id);
    EXPECT_EQ(actual[i].code, expected[i].code);
    EXPECT_EQ(actual[i].name, expected[i].name);
    EXPECT_EQ(actual[i].desc, expected[i].desc);
    EXPECT_EQ(actual[i].active, expected[i].active);
    EXPECT_EQ(actual[i].seq, expected[i].seq);
  }
}

struct CountCase {
  std::uint8_t count_byte;
  std::size_t modules_reported;
};

class PointsPerRound : public testing::TestWithParam<CountCase> {};

TEST_P(PointsPerRound, AreTwicePerModulePlus1144) {
  Round round;
  const auto points = round.run(block_with_modules(GetParam().count_byte));
  EXPECT_EQ(points.size(), 2 * GetParam().modules_reported + kFixedPoints);
  round.controller->RunTasks();
  ASSERT_EQ(round.controller->batches.size(), 1u);
  EXPECT_EQ(round.controller->batches[0].size(), points.size());
}

INSTANTIATE_TEST_SUITE_P(RoundDone, PointsPerRound,
                         testing::Values(CountCase{0, 0}, CountCase{3, 3}, CountCase{64, 64},
                                         CountCase{65, 64}, CountCase{255, 64}));

TEST(RoundDone, PublishesTheStampedBlock) {
  Round round;
  const auto block = block_with_modules(3, {0x01, 0xFE, 0x00}, 0xAA);
  round.run(block);
  ASSERT_EQ(round.controller->snapshots.size(), 1u);
  const Snapshot& published = round.controller->snapshots[0];
  EXPECT_EQ(published.sp, 5229);
  EXPECT_FALSE(published.flag);
  ASSERT_EQ(published.bytes.size(), layout::kBlockSize);
  EXPECT_TRUE(std::equal(block.begin(), block.begin() + layout::kTimestamp,
                         published.bytes.begin()));
  // 0xAAAA is no year the host's clock gives.
  EXPECT_NE(published.bytes[layout::kTimestamp] | published.bytes[layout::kTimestamp + 1] << 8,
            0xAAAA);
  EXPECT_TRUE(std::equal(published.bytes.begin(), published.bytes.end(),
                         round.device->Snapshot().begin()));
}

TEST(RoundDone, FirstRoundMarksTheDataValid) {
  Round round;
  ASSERT_EQ(round.device->DataValid(), 0);
  round.run();
  EXPECT_EQ(round.device->DataValid(), 1);
  try {
    round.device->Get_Value(0, "anything");
    FAIL() << "Get_Value answered";
  } catch (const std::out_of_range& refusal) {
    EXPECT_STREQ(refusal.what(), "不支持变量");
  }
}

TEST(RoundDone, ConsecutiveRoundsReportTheSamePoints) {
  Round round;
  const auto first = round.run(block_with_modules(3, {0x01, 0xFE, 0x00}));
  const auto second = round.run();
  expect_same_points(second, first);
}

TEST(RoundDone, DescriptionsTellThePointsApart) {
  Round round;
  const auto points = round.run(block_with_modules(64));
  std::set<std::string> descriptions;
  for (const rule_value& value : points) descriptions.insert(value.desc);
  EXPECT_EQ(descriptions.size(), points.size());
}

TEST(RoundDone, HandsTheRoundToTheWorkerAsOneBatch) {
  Round round;
  const auto points = round.run(block_with_modules(3, {0x01, 0xFE, 0x00}));
  EXPECT_TRUE(round.device->PendingEvaluations().empty());
  EXPECT_GE(round.device->PendingEvaluations().capacity(), points.size());
  ASSERT_EQ(round.controller->tasks.size(), 1u);
  EXPECT_TRUE(round.controller->batches.empty());

  round.controller->RunTasks();
  ASSERT_EQ(round.controller->batches.size(), 1u);
  expect_same_points(round.controller->batches[0], points);
}

TEST(RoundDone, EachRoundHandsOverOnlyItsOwnPoints) {
  Round round;
  round.run(block_with_modules(1));
  const auto second = round.run();
  round.controller->RunTasks();
  ASSERT_EQ(round.controller->batches.size(), 2u);
  expect_same_points(round.controller->batches[1], second);
}

TEST(RoundDone, BatchKeepsTheDeviceAliveUntilItHasRun) {
  Round round;
  round.run(block_with_modules(0));
  const std::weak_ptr<VARNOK_QMR4100> watched = round.device;
  round.device.reset();
  EXPECT_FALSE(watched.expired());

  round.controller->RunTasks();
  ASSERT_EQ(round.controller->batches.size(), 1u);
  EXPECT_EQ(round.controller->batches[0].size(), kFixedPoints);
  EXPECT_TRUE(watched.expired());
}

}  // namespace
