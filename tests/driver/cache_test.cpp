// Restoring the block from the host's cache, and the value query's refusals.
#include "driver/cache.h"

#include <gtest/gtest.h>

#include <boost/date_time/posix_time/posix_time.hpp>
#include <climits>
#include <stdexcept>
#include <string>

#include "driver_fixture.h"

namespace {

using boost::posix_time::ptime;
using boost::posix_time::time_from_string;
using qmr4100::Freshness;

constexpr const char* kNotReady = "数据未就绪";
constexpr const char* kNotSupported = "不支持变量";
constexpr const char* kTimedOut = "数据已超时";

// The message the query refuses with.
std::string refusal(const VARNOK_QMR4100& device, unsigned int index = 0,
                    const std::string& name = "") {
  try {
    device.Get_Value(index, name);
  } catch (const std::out_of_range& refused) {
    return refused.what();
  }
  return "no out_of_range thrown";
}

std::string cached_block(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 13 + 1);
  return bytes;
}

class RestoreLengthTest : public DriverTest, public testing::WithParamInterface<std::size_t> {};

TEST_P(RestoreLengthTest, OnlyAWholeBlockIsTaken) {
  const qmr4100::Block before = device->Snapshot();
  EXPECT_EQ(device->LoadFromCache(cached_block(GetParam())), 0);
  EXPECT_TRUE(same_block(before, device->Snapshot()));
  EXPECT_EQ(device->DataValid(), 0);
  EXPECT_EQ(refusal(*device), kNotReady);
}

INSTANTIATE_TEST_SUITE_P(Sizes, RestoreLengthTest, testing::Values(0, 894, 896, 1790));

TEST_F(DriverTest, WholeBlockReplacesEveryByteAndCountsAsFresh) {
  const std::string cached = cached_block(qmr4100::layout::kBlockSize);
  EXPECT_EQ(device->LoadFromCache(cached), 1);
  EXPECT_EQ(device->byte_restores, 1);  // the string form goes through the byte form
  EXPECT_EQ(std::string(device->Snapshot().begin(), device->Snapshot().end()), cached);
  EXPECT_EQ(device->DataValid(), 1);
  EXPECT_EQ(refusal(*device), kNotSupported);
}

TEST_F(DriverTest, RestoreRefusesNullAndNegativeLengths) {
  const std::string cached = cached_block(qmr4100::layout::kBlockSize);
  const auto* bytes = reinterpret_cast<const unsigned char*>(cached.data());
  const qmr4100::Block before = device->Snapshot();
  EXPECT_EQ(device->LoadFromCache(nullptr, 895), 0);
  EXPECT_EQ(device->LoadFromCache(bytes, -1), 0);
  EXPECT_EQ(device->LoadFromCache(bytes, INT_MIN), 0);
  EXPECT_EQ(device->LoadFromCache(bytes, -895), 0);
  EXPECT_TRUE(same_block(before, device->Snapshot()));
  EXPECT_EQ(refusal(*device), kNotReady);
  EXPECT_EQ(device->LoadFromCache(bytes, 895), 1);
}

TEST_F(DriverTest, QueryIgnoresItsArguments) {
  EXPECT_EQ(refusal(*device, 7, "voltage"), kNotReady);
  device->LoadFromCache(cached_block(qmr4100::layout::kBlockSize));
  EXPECT_EQ(refusal(*device, 0xFFFFFFFF, "voltage"), kNotSupported);
}

TEST_F(DriverTest, OldDataIsTimedOutAndDataFromTheFutureIsNot) {
  device->LoadFromCache(cached_block(qmr4100::layout::kBlockSize));
  const ptime now = boost::posix_time::second_clock::local_time();
  device->SetLastUpdate(now - boost::posix_time::minutes(5));
  EXPECT_EQ(refusal(*device), kTimedOut);
  device->SetLastUpdate(now + boost::posix_time::hours(1));
  EXPECT_EQ(refusal(*device), kNotSupported);
}

struct AgeCase {
  bool valid;
  const char* now;
  Freshness freshness;
};

TEST(Classify, FreshForSixtyWholeSecondsAfterTheLastUpdate) {
  const ptime last_update = time_from_string("2024-06-01 12:00:00.700");
  const AgeCase cases[] = {
      {false, "2024-06-01 12:00:30", Freshness::NotReady},
      {false, "2024-06-01 13:00:00", Freshness::NotReady},
      {true, "2024-06-01 12:00:00", Freshness::Fresh},     // -0.7 s
      {true, "2024-06-01 12:01:00", Freshness::Fresh},     // 59.3 s
      {true, "2024-06-01 12:01:01", Freshness::Fresh},     // 60.3 s, taken as 60
      {true, "2024-06-01 12:01:02", Freshness::TimedOut},  // 61.3 s, taken as 61
      {true, "2024-06-02 12:00:00", Freshness::TimedOut},
      {true, "2024-05-31 12:00:00", Freshness::Fresh},  // clock set back a day
  };
  for (const AgeCase& c : cases) {
    EXPECT_EQ(qmr4100::classify(c.valid, time_from_string(c.now), last_update), c.freshness)
        << c.now << (c.valid ? "" : " (not valid)");
  }
}

}  // namespace
