#include "text/block_view.h"

#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using namespace qmr4100;
using qmr4100::gateway::describe_block;
using qmr4100::gateway::summarize_block;

namespace {

// A cycle of three modules: normal, fault, communication failure.
Block crafted_block() {
  Block block{};
  put_u32le(block, layout::kDataId, 1000);
  put_f32le(block, layout::kSystemValue, tenths(0x01, 0xF4));
  block[layout::kModuleCount] = 3;
  const float values[] = {53.5f, 20.0f, 0.0f};
  const std::uint8_t statuses[] = {0x00, kModuleFault, kModuleCommFailure};
  for (std::size_t i = 0; i < 3; ++i) {
    put_f32le(block, layout::module_record(i) + layout::kModuleValue, values[i]);
    block[layout::module_record(i) + layout::kModuleStatus] = statuses[i];
  }
  block[layout::module_record(0) + layout::kModuleStates] = 0x0A;
  for (std::size_t i = 0; i < layout::kBatterySize; ++i) block[layout::kBattery + i] = i;
  for (std::size_t k = 0; k < layout::kValueCountA2; ++k)
    put_f32le(block, layout::kValuesA2 + 4 * k, static_cast<float>(k + 1));
  block[layout::kBytes95] = 0xAB;
  put_f32le(block, layout::kValue95, tenths(0x00, 0x7B));
  const std::uint8_t stamp[] = {0xE8, 0x07, 5, 1, 12, 34, 56};  // 2024-05-01 12:34:56
  std::copy(std::begin(stamp), std::end(stamp), block.begin() + layout::kTimestamp);
  return block;
}

struct Line {
  std::size_t offset;
  std::string name;
  std::string value;
};

// Splits "offset  name  value"; continuation lines of raw regions have no name.
std::vector<Line> parse(const std::string& text) {
  static const std::regex kLine(R"(^ *(\d+)  (.*?) {2,}(.*)$)");
  std::vector<Line> lines;
  std::istringstream in(text);
  for (std::string row; std::getline(in, row);) {
    std::smatch match;
    EXPECT_TRUE(std::regex_match(row, match, kLine)) << row;
    if (!match.empty()) lines.push_back({std::stoul(match[1]), match[2], match[3]});
  }
  return lines;
}

std::optional<Line> find(const std::vector<Line>& lines, const std::string& name) {
  for (const Line& line : lines)
    if (line.name == name) return line;
  return std::nullopt;
}

struct Expected {
  std::size_t offset;
  const char* name;
  const char* value;
};

TEST(DescribeBlock, ShowsFieldsAtTheirOffsets) {
  const Expected expected[] = {
      {0, "data id", "1000"},
      {4, "system value", "50.0"},
      {8, "module count", "3"},
      {9, "module 1 value", "53.5"},
      {13, "module 1 0x43 bytes", "0A 00 00"},
      {16, "module 1 status", "00 normal"},
      {24, "module 2 status", "01 fault"},
      {25, "module 3 value", "0.0"},
      {32, "module 3 status", "FE comm failure"},
      {33, "module records 4-64", "not current"},
      {521, "0x91 battery data", "00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F"},
      {835, "0xA2 value 2", "2.0"},
      {875, "0xA2 value 12", "12.0"},
      {882, "0x95 byte 0", "AB"},
      {884, "0x95 value", "12.3"},
      {888, "timestamp", "2024-05-01 12:34:56"},
  };
  const auto lines = parse(describe_block(crafted_block()));
  for (const Expected& field : expected) {
    SCOPED_TRACE(field.name);
    const auto line = find(lines, field.name);
    ASSERT_TRUE(line.has_value());
    EXPECT_EQ(line->offset, field.offset);
    EXPECT_EQ(line->value, field.value);
  }
}

TEST(DescribeBlock, ListsTheLayoutInOrderWithoutGaps) {
  const auto lines = parse(describe_block(crafted_block()));
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front().offset, 0u);
  for (std::size_t i = 1; i < lines.size(); ++i)
    EXPECT_LT(lines[i - 1].offset, lines[i].offset) << lines[i].name;
  EXPECT_EQ(lines.back().offset, layout::kTimestamp);
  // The 0x9C region spans 200 bytes, sixteen to a line.
  const auto entries = find(lines, "0x9C entries");
  ASSERT_TRUE(entries.has_value());
  EXPECT_EQ(entries->offset, 577u);
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const Line& l) { return l.offset > 577 && l.offset < 777; }),
            12);
}

TEST(DescribeBlock, ModuleCountBoundsTheRecordsShown) {
  Block block = crafted_block();
  block[layout::kModuleCount] = 0;
  auto lines = parse(describe_block(block));
  EXPECT_FALSE(find(lines, "module 1 value").has_value());
  EXPECT_EQ(find(lines, "module records 1-64")->offset, 9u);

  block[layout::kModuleCount] = 200;  // beyond the 64 records the block holds
  lines = parse(describe_block(block));
  EXPECT_EQ(find(lines, "module 64 status")->offset, 520u);
  EXPECT_FALSE(find(lines, "module 65 value").has_value());
}

TEST(SummarizeBlock, ShowsModulesAndDecodedValues) {
  const std::string summary = summarize_block(crafted_block());
  for (const char* expected : {"data id 1000, 2024-05-01 12:34:56, 3 modules\n",
                               "module 1: 53.5 normal\n", "module 2: 20.0 fault\n",
                               "module 3: 0.0 comm failure\n", "system value 50.0",
                               "0x95 value 12.3",
                               "0xA2 values 1.0 2.0 3.0 4.0 5.0 6.0 7.0 8.0 9.0 10.0 11.0 12.0\n"})
    EXPECT_NE(summary.find(expected), std::string::npos) << expected << "\nin:\n" << summary;
  EXPECT_EQ(summary.find("module 4"), std::string::npos);
}

}  // namespace
