// One complete polling cycle driven only through frames on the line.
#include <gtest/gtest.h>

#include <boost/date_time/posix_time/posix_time.hpp>
#include <string>
#include <vector>

#include "driver_fixture.h"
#include "host/get_ttime.h"
#include "wire_examples.h"
#include "ydt1363/frame.h"

namespace {

namespace layout = qmr4100::layout;
using Bytes = std::vector<std::uint8_t>;

Bytes counting(std::size_t count, std::uint8_t first) {
  Bytes out(count);
  for (std::size_t i = 0; i < count; ++i) out[i] = static_cast<std::uint8_t>(first + i);
  return out;
}

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

// What the answers of wire_examples.h leave in the block, field by field.
const std::vector<Write> kCycleWrites = {
    {layout::kDataId, {0xE8, 0x03, 0x00, 0x00}},
    {layout::kSystemValue, le_float(50.0f)},
    {layout::kModuleCount, {3}},
    {layout::module_record(0), concat({le_float(10.0f), {0x01, 0x02, 0x03}, {0x00}})},
    {layout::module_record(1), concat({le_float(20.0f), {0x04, 0x05, 0x06}, {0x01}})},
    {layout::module_record(2), concat({le_float(6553.5f), {0x07, 0x08, 0x09}, {0xFE}})},
    {layout::kBattery, counting(56, 0x10)},
    {layout::kEntries9C, counting(12, 0x60)},
    {layout::kRaw86, counting(54, 0x80)},
    {layout::kValuesA2,
     concat({le_float(0.0f), le_float(0.1f), le_float(50.0f), le_float(6553.5f), le_float(54.0f),
             le_float(300.0f), le_float(1.0f), le_float(1000.0f), le_float(500.0f), le_float(0.5f),
             le_float(3276.8f), le_float(466.0f)})},
    {layout::kBytesA2, {0xC1, 0xC2, 0xC3}},
    {layout::kBytes95, {0x0A, 0x0B}},
    {layout::kValue95, le_float(100.0f)},
};

boost::posix_time::ptime stamped_time(const qmr4100::Block& block) {
  const std::size_t at = layout::kTimestamp;
  return boost::posix_time::ptime(
      boost::gregorian::date(block[at] | block[at + 1] << 8, block[at + 2], block[at + 3]),
      boost::posix_time::time_duration(block[at + 4], block[at + 5], block[at + 6]));
}

TEST(WireExamples, CodecBuildsTheCanonicalAnswers) {
  for (const CycleAnswer& answer : cycle_answers()) {
    EXPECT_EQ(answer_frame(answer.info), answer.wire) << std::hex << int{answer.command};
  }
  EXPECT_EQ(command_frame(0x42), wire::kCommand42);
}

TEST_F(DriverTest, FullCycleSendsEightCommandsAndPublishesTheBlockOnce) {
  const qmr4100::Block filler = fill_block(0x5A, 0);
  ASSERT_EQ(device->RefreshStatus(), 1);

  std::vector<int> results;
  const auto started = boost::posix_time::second_clock::local_time();
  for (const CycleAnswer& answer : cycle_answers()) {
    results.push_back(feed(answer_frame(answer.info)));
  }
  const auto finished = boost::posix_time::second_clock::local_time();

  std::vector<std::string> commands;
  for (unsigned char code : {0x42, 0x43, 0x44, 0x91, 0x95, 0x9C, 0x86, 0xA2}) {
    std::string frame;
    ydt1363::encode(0x21, kAddress, 0x41, code, nullptr, 0, frame);
    commands.push_back(frame);
  }
  EXPECT_EQ(controller->sent, commands);
  EXPECT_EQ(controller->sent.front(), "~210141420000FDB1\r");
  EXPECT_EQ(results, (std::vector<int>{1, 1, 1, 1, 1, 1, 1, 0}));

  ASSERT_EQ(controller->snapshots.size(), 1u);
  const Snapshot& published = controller->snapshots[0];
  EXPECT_EQ(published.sp, 5229);
  EXPECT_FALSE(published.flag);
  ASSERT_EQ(published.bytes.size(), layout::kBlockSize);

  qmr4100::Block block{};
  std::copy(published.bytes.begin(), published.bytes.end(), block.begin());
  EXPECT_TRUE(same_block(device->Snapshot(), block));
  qmr4100::Block expected = with_writes(filler, kCycleWrites);
  std::copy_n(block.begin() + layout::kTimestamp, layout::kTimestampSize,
              expected.begin() + layout::kTimestamp);
  EXPECT_TRUE(same_block(expected, block));
  EXPECT_GE(stamped_time(block), started);
  EXPECT_LE(stamped_time(block), finished);

  EXPECT_EQ(device->DataValid(), 1);
  EXPECT_EQ(device->resets, 1);
}

TEST_F(DriverTest, NextCycleStartsOnlyWithRefreshStatus) {
  run_to_step(8);
  feed(wire::kAnswerA2);
  EXPECT_EQ(device->Step(), 8);
  const std::size_t commands = controller->sent.size();
  EXPECT_EQ(commands, 8u);

  device->RefreshStatus();
  for (const CycleAnswer& answer : cycle_answers()) feed(answer.wire);
  EXPECT_EQ(controller->sent.size(), 2 * commands);
  EXPECT_EQ(controller->snapshots.size(), 2u);
}

}  // namespace
