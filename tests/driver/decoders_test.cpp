// Each decoder against one answer: what it returns and every block byte it
// changes. Bytes not listed must keep the filler of the block.
#include "driver/decoders.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

#include "driver_fixture.h"

namespace {

namespace layout = qmr4100::layout;

enum class Answer { A42, A43, A44, A91, A95, A9C, A86, AA2 };

constexpr int kAccepted = 1;  // fixed decoders: the cycle goes on
constexpr int kRefused = 0;

struct DecodeCase {
  const char* name;
  Answer answer;
  std::uint8_t module_count;  // held in the block before the answer
  std::vector<std::uint8_t> info;
  int result;  // record decoders: consumed length
  std::vector<Write> writes;
};

void PrintTo(const DecodeCase& row, std::ostream* out) { *out << row.name; }

std::vector<std::uint8_t> bytes(std::size_t count, std::uint8_t first) {
  std::vector<std::uint8_t> out(count);
  for (std::size_t i = 0; i < count; ++i) out[i] = static_cast<std::uint8_t>(first + i);
  return out;
}

std::vector<std::uint8_t> counted(std::uint8_t count, std::size_t size) {
  std::vector<std::uint8_t> out = bytes(size, 0x20);
  out.insert(out.begin(), count);
  return out;
}

// A 0x42 answer of value 50.0 and `count` modules of 10.0 each.
std::vector<std::uint8_t> a42_modules(std::uint8_t count) {
  std::vector<std::uint8_t> out{0x00, 0x01, 0xF4, count};
  for (int i = 0; i < count; ++i) out.insert(out.end(), {0x00, 0x64, 0x00});
  return out;
}

// Module records 0 to count - 1 after a42_modules(count): value 10.0, the
// other four bytes untouched (the block filler 5A).
std::vector<std::uint8_t> every_module_value(std::size_t count) {
  std::vector<std::uint8_t> out;
  for (std::size_t i = 0; i < count; ++i) {
    const auto value = le_float(10.0f);
    out.insert(out.end(), value.begin(), value.end());
    out.insert(out.end(), {0x5A, 0x5A, 0x5A, 0x5A});
  }
  return out;
}

std::vector<std::uint8_t> floats(std::initializer_list<float> values) {
  std::vector<std::uint8_t> out;
  for (float value : values) {
    const auto stored = le_float(value);
    out.insert(out.end(), stored.begin(), stored.end());
  }
  return out;
}

std::size_t record(std::size_t i, std::size_t field) { return layout::module_record(i) + field; }

const std::vector<DecodeCase>& decode_cases() {
  static const std::vector<DecodeCase> cases = {
      {"P42TwoModulesOneSkip",
       Answer::A42,
       0x5A,
       {0x00, 0x01, 0xF4, 0x02, 0x00, 0x64, 0x00, 0x00, 0xC8, 0x01, 0xAA},
       11,
       {{4, {0x00, 0x00, 0x48, 0x42}},
        {8, {2}},
        {record(0, layout::kModuleValue), le_float(10.0f)},
        {record(1, layout::kModuleValue), le_float(20.0f)}}},
      {"P42NoModules",
       Answer::A42,
       0x5A,
       {0x00, 0x00, 0x00, 0x00},
       4,
       {{4, le_float(0.0f)}, {8, {0}}}},
      {"P42HighestTenths",
       Answer::A42,
       0x5A,
       {0x00, 0xFF, 0xFF, 0x00},
       4,
       {{4, le_float(6553.5f)}, {8, {0}}}},
      {"P42EntryCutShort",
       Answer::A42,
       0x5A,
       {0x00, 0x01, 0xF4, 0x02, 0x00, 0x64, 0x00, 0x00, 0xC8},
       10,
       {{4, le_float(50.0f)}, {8, {2}}, {record(0, layout::kModuleValue), le_float(10.0f)}}},
      {"P42SkipPastTheEnd",
       Answer::A42,
       0x5A,
       {0x00, 0x01, 0xF4, 0x02, 0x00, 0x64, 0x00, 0x00, 0xC8, 0x05, 0xAA},
       15,
       {{4, le_float(50.0f)},
        {8, {2}},
        {record(0, layout::kModuleValue), le_float(10.0f)},
        {record(1, layout::kModuleValue), le_float(20.0f)}}},
      {"P42TooShortForTheCount", Answer::A42, 0x5A, {0x00, 0x01, 0xF4}, 4, {}},
      {"P42SixtyFourModules",
       Answer::A42,
       0x5A,
       a42_modules(64),
       4 + 64 * 3,
       {{4, le_float(50.0f)}, {8, {64}}, {layout::kModules, every_module_value(64)}}},
      {"P42SixtyFiveModules", Answer::A42, 0x5A, a42_modules(65), kRefused, {}},
      {"P43TwoModules",
       Answer::A43,
       2,
       {0x02, 0x01, 0x02, 0x03, 0x00, 0x04, 0x05, 0x06, 0x00},
       9,
       {{record(0, layout::kModuleStates), {1, 2, 3}},
        {record(1, layout::kModuleStates), {4, 5, 6}}}},
      {"P43SkippedBytes",
       Answer::A43,
       1,
       {0x01, 0x01, 0x02, 0x03, 0x02, 0xEE, 0xEE},
       7,
       {{record(0, layout::kModuleStates), {1, 2, 3}}}},
      {"P43CountDiffers",
       Answer::A43,
       2,
       {0x03, 0x01, 0x02, 0x03, 0x00, 0x04, 0x05, 0x06, 0x00},
       kRefused,
       {}},
      {"P43Empty", Answer::A43, 0, {}, 1, {}},
      {"P43SkipPastTheEnd",
       Answer::A43,
       1,
       {0x01, 0x01, 0x02, 0x03, 0x09, 0xEE},
       14,
       {{record(0, layout::kModuleStates), {1, 2, 3}}}},
      {"P43BlockCountAboveTheRecords", Answer::A43, 200, counted(200, 800), kRefused, {}},
      {"P44TwoModules",
       Answer::A44,
       2,
       {0x02, 0x01, 0x00, 0xFE, 0x02, 0x11, 0x22},
       7,
       {{record(0, layout::kModuleStatus), {0x01}}, {record(1, layout::kModuleStatus), {0xFE}}}},
      {"P44CountDiffers", Answer::A44, 2, {0x03, 0x01, 0x00, 0xFE, 0x00, 0x00, 0x00}, kRefused, {}},
      {"P44SkipPastTheEnd",
       Answer::A44,
       2,
       {0x02, 0x01, 0x00, 0xFE, 0x05, 0x11},
       10,
       {{record(0, layout::kModuleStatus), {0x01}}, {record(1, layout::kModuleStatus), {0xFE}}}},
      {"P44BlockCountAboveTheRecords", Answer::A44, 200, counted(200, 400), kRefused, {}},
      {"P91", Answer::A91, 0, bytes(56, 0x10), kAccepted, {{521, bytes(56, 0x10)}}},
      {"P91OneByteShort", Answer::A91, 0, bytes(55, 0x10), kRefused, {}},
      {"P95",
       Answer::A95,
       0,
       {0x0A, 0x0B, 0x01, 0xF4},
       kAccepted,
       {{882, {0x0A, 0x0B, 0x00, 0x00, 0x48, 0x42}}}},
      {"P95ThreeBytesSkipped", Answer::A95, 0, {0x0A, 0x0B, 0x01}, kAccepted, {}},
      {"P9CNoEntries", Answer::A9C, 0, {0x00}, kAccepted, {}},
      {"P9CThreeEntries", Answer::A9C, 0, counted(3, 12), kAccepted, {{577, bytes(12, 0x20)}}},
      {"P9CFiftyEntries", Answer::A9C, 0, counted(50, 200), kAccepted, {{577, bytes(200, 0x20)}}},
      {"P9CFiftyOneEntries", Answer::A9C, 0, counted(51, 204), kRefused, {}},
      {"P9CEntriesCutShort", Answer::A9C, 0, counted(3, 11), kRefused, {}},
      {"P9CEmpty", Answer::A9C, 0, {}, kRefused, {}},
      {"P86", Answer::A86, 0, bytes(54, 0x80), kAccepted, {{777, bytes(54, 0x80)}}},
      {"P86OneByteShort", Answer::A86, 0, bytes(53, 0x80), kRefused, {}},
      {"PA2",
       Answer::AA2,
       0,
       bytes(27, 0x01),
       kAccepted,
       {{831, floats({25.8f, 77.2f, 128.6f, 180.0f, 231.4f, 282.8f, 334.2f, 385.6f, 437.0f, 488.4f,
                      539.8f, 591.2f})},
        {879, {0x19, 0x1A, 0x1B}}}},
      {"PA2OneByteShort", Answer::AA2, 0, bytes(26, 0x01), kRefused, {}},
  };
  return cases;
}

class DecoderTest : public DriverTest, public testing::WithParamInterface<DecodeCase> {
 protected:
  // Record decoders work on the device's block, fixed decoders on `block`.
  int decode(const DecodeCase& row, qmr4100::Block& block) {
    const qmr4100::Info info{row.info.data(), row.info.size()};
    switch (row.answer) {
      case Answer::A42:
        return device->parse41_42(info.data, info.size);
      case Answer::A43:
        return device->parse41_43(info.data, info.size);
      case Answer::A44:
        return device->parse41_44(info.data, info.size);
      case Answer::A91:
        return qmr4100::decode_41_91(block, info) ? kAccepted : kRefused;
      case Answer::A95:
        qmr4100::decode_41_95(block, info);
        return kAccepted;
      case Answer::A9C:
        return qmr4100::decode_41_9C(block, info) ? kAccepted : kRefused;
      case Answer::A86:
        return qmr4100::decode_41_86(block, info) ? kAccepted : kRefused;
      case Answer::AA2:
        return qmr4100::decode_41_A2(block, info) ? kAccepted : kRefused;
    }
    return -1;
  }

  static bool is_record_decoder(Answer answer) {
    return answer == Answer::A42 || answer == Answer::A43 || answer == Answer::A44;
  }
};

// The info vectors are sized exactly, so under the address sanitizer a read
// past the received info field fails the case.
TEST_P(DecoderTest, WritesOnlyItsFieldsAndReportsWhatItTook) {
  const DecodeCase& row = GetParam();
  const qmr4100::Block before = fill_block(0x5A, row.module_count);
  qmr4100::Block block = before;
  testing::internal::CaptureStdout();
  EXPECT_EQ(decode(row, block), row.result);
  testing::internal::GetCapturedStdout();
  const qmr4100::Block& after = is_record_decoder(row.answer) ? device->Snapshot() : block;
  EXPECT_TRUE(same_block(with_writes(before, row.writes), after));
  EXPECT_TRUE(device->AlarmList().empty());
}

INSTANTIATE_TEST_SUITE_P(Answers, DecoderTest, testing::ValuesIn(decode_cases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DriverTest, SkipBytesOf42And43AreLoggedWithTheDataId) {
  const std::vector<std::uint8_t> a42{0x00, 0x01, 0xF4, 0x02, 0x00, 0x64,
                                      0x00, 0x00, 0xC8, 0x01, 0xAA};
  const std::vector<std::uint8_t> a43{0x02, 0x01, 0x02, 0x03, 0x00, 0x04,
                                      0x05, 0x06, 0x02, 0xEE, 0xEE};
  ASSERT_EQ(device->parse41_42(a42.data(), a42.size()), 11);
  ASSERT_EQ(device->parse41_43(a43.data(), a43.size()), 11);
  EXPECT_EQ(controller->log, (std::vector<std::string>{
                                 "VARNOK_QMR4100:ProcotolError 1000 read 41_42 p is 1 not 0",
                                 "VARNOK_QMR4100:ProcotolError 1000 read 41_43 p is 2, not 0"}));
}

TEST_F(DriverTest, SkipBytesOf44AreNotLogged) {
  fill_block(0, 2);
  const std::vector<std::uint8_t> a44{0x02, 0x01, 0x00, 0xFE, 0x02, 0x11, 0x22};
  ASSERT_EQ(device->parse41_44(a44.data(), a44.size()), 7);
  EXPECT_TRUE(controller->log.empty());
}

TEST_F(DriverTest, CountMismatchOf44PrintsBothCountsWithoutLineEnd) {
  fill_block(0, 2);
  const std::vector<std::uint8_t> a44{0x03, 0x01, 0x00, 0xFE, 0x00, 0x00, 0x00};
  testing::internal::CaptureStdout();
  EXPECT_EQ(device->parse41_44(a44.data(), a44.size()), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "VARNOK_QMR4100:ProcotolError  parse p41_44 channel_count not equal 3 vs 2 ");
}

TEST_F(DriverTest, CountMismatchOf43IsSilent) {
  fill_block(0, 2);
  const std::vector<std::uint8_t> a43{0x03, 0x01, 0x02, 0x03, 0x00};
  testing::internal::CaptureStdout();
  EXPECT_EQ(device->parse41_43(a43.data(), a43.size()), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_TRUE(controller->log.empty());
}

TEST_F(DriverTest, BatteryDataIsAnnouncedWithItsSize) {
  qmr4100::Block block{};
  const std::vector<std::uint8_t> a91(56, 0x33);
  testing::internal::CaptureStdout();
  qmr4100::decode_41_91(block, {a91.data(), a91.size()});
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Battery size:56\n");
}

TEST(Tenths, TwoBigEndianBytesBecomeALittleEndianFloat) {
  struct Row {
    std::uint8_t hi, lo;
    std::vector<std::uint8_t> stored;
  };
  const Row rows[] = {
      {0x01, 0xF4, {0x00, 0x00, 0x48, 0x42}},  // 500 -> 50.0
      {0x00, 0x00, {0x00, 0x00, 0x00, 0x00}},  // 0.0
      {0xFF, 0xFF, {0x00, 0xCC, 0xCC, 0x45}},  // 65535 -> 6553.5
      {0x00, 0x01, {0xCD, 0xCC, 0xCC, 0x3D}},  // 1 -> 0.1
  };
  for (const Row& row : rows) {
    qmr4100::Block block{};
    const std::vector<std::uint8_t> a95{0x00, 0x00, row.hi, row.lo};
    qmr4100::decode_41_95(block, {a95.data(), a95.size()});
    EXPECT_EQ(std::vector<std::uint8_t>(block.begin() + 884, block.begin() + 888), row.stored)
        << int{row.hi} << " " << int{row.lo};
  }
}

}  // namespace
