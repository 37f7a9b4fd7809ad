#include "text/block_view.h"

#include <algorithm>
#include <iterator>
#include <string_view>

#include <fmt/format.h>

namespace qmr4100::gateway {
namespace {

using namespace qmr4100::layout;

enum class Encoding { U8, U32, Float, Hex, Status, Timestamp };

struct Field {
  std::size_t offset;
  std::size_t width;
  Encoding encoding;
  const char* name;
};

constexpr Field kHeadFields[] = {
    {kDataId, 4, Encoding::U32, "data id"},
    {kSystemValue, 4, Encoding::Float, "system value"},
    {kModuleCount, 1, Encoding::U8, "module count"},
};

// Offsets within one module record.
constexpr Field kModuleFields[] = {
    {kModuleValue, 4, Encoding::Float, "value"},
    {kModuleStates, 3, Encoding::Hex, "0x43 bytes"},
    {kModuleStatus, 1, Encoding::Status, "status"},
};

constexpr Field kRawFields[] = {
    {kBattery, kBatterySize, Encoding::Hex, "0x91 battery data"},
    {kEntries9C, kEntrySize9C * kMaxEntries9C, Encoding::Hex, "0x9C entries"},
    {kRaw86, kRaw86Size, Encoding::Hex, "0x86 data"},
};

// Behind the twelve 0xA2 values.
constexpr Field kTailFields[] = {
    {kBytesA2, 1, Encoding::Hex, "0xA2 byte 24"},
    {kBytesA2 + 1, 1, Encoding::Hex, "0xA2 byte 25"},
    {kBytesA2 + 2, 1, Encoding::Hex, "0xA2 byte 26"},
    {kBytes95, 1, Encoding::Hex, "0x95 byte 0"},
    {kBytes95 + 1, 1, Encoding::Hex, "0x95 byte 1"},
    {kValue95, 4, Encoding::Float, "0x95 value"},
    {kTimestamp, kTimestampSize, Encoding::Timestamp, "timestamp"},
};

constexpr std::size_t kHexPerLine = 16;

std::size_t current_modules(const Block& block) {
  return std::min<std::size_t>(block[kModuleCount], kMaxModules);
}

std::string float_text(const Block& block, std::size_t offset) {
  return fmt::format("{:.1f}", get_f32le(block, offset));
}

std::string hex_text(const Block& block, std::size_t offset, std::size_t width) {
  const auto first = block.begin() + static_cast<std::ptrdiff_t>(offset);
  return fmt::format("{:02X}", fmt::join(first, first + static_cast<std::ptrdiff_t>(width), " "));
}

const char* status_name(std::uint8_t status) {
  if (status == kModuleFault) return "fault";
  if (status == kModuleCommFailure) return "comm failure";
  return "normal";
}

// The host's seven timestamp bytes: year (little-endian), month, day, hour, minute, second.
std::string timestamp_text(const Block& block) {
  const auto* t = block.data() + kTimestamp;
  return fmt::format("{:04}-{:02}-{:02} {:02}:{:02}:{:02}", t[0] | t[1] << 8, t[2], t[3], t[4],
                     t[5], t[6]);
}

std::string value_text(const Block& block, std::size_t offset, const Field& field) {
  switch (field.encoding) {
    case Encoding::U8: return std::to_string(block[offset]);
    case Encoding::U32: return std::to_string(get_u32le(block, offset));
    case Encoding::Float: return float_text(block, offset);
    case Encoding::Hex: return hex_text(block, offset, field.width);
    case Encoding::Status:
      return fmt::format("{:02X} {}", block[offset], status_name(block[offset]));
    case Encoding::Timestamp: return timestamp_text(block);
  }
  return "";
}

void append_line(std::string& out, std::size_t offset, std::string_view name,
                 std::string_view value) {
  fmt::format_to(std::back_inserter(out), "{:>3}  {:<24}{}\n", offset, name, value);
}

// Long raw regions go on as many lines as they need, each with its own offset.
void append_field(std::string& out, const Block& block, std::size_t offset, const Field& field,
                  std::string_view name) {
  if (field.encoding != Encoding::Hex) {
    append_line(out, offset, name, value_text(block, offset, field));
    return;
  }
  for (std::size_t done = 0; done < field.width; done += kHexPerLine) {
    const std::size_t width = std::min(kHexPerLine, field.width - done);
    append_line(out, offset + done, done == 0 ? name : "", hex_text(block, offset + done, width));
  }
}

template <std::size_t N>
void append_fields(std::string& out, const Block& block, const Field (&fields)[N]) {
  for (const Field& field : fields) append_field(out, block, field.offset, field, field.name);
}

void append_modules(std::string& out, const Block& block) {
  const std::size_t count = current_modules(block);
  for (std::size_t i = 0; i < count; ++i) {
    for (const Field& field : kModuleFields)
      append_field(out, block, module_record(i) + field.offset, field,
                   fmt::format("module {} {}", i + 1, field.name));
  }
  if (count < kMaxModules)
    append_line(out, module_record(count),
                fmt::format("module records {}-{}", count + 1, kMaxModules), "not current");
}

void append_values_a2(std::string& out, const Block& block) {
  for (std::size_t k = 0; k < kValueCountA2; ++k) {
    const std::size_t offset = kValuesA2 + 4 * k;
    append_line(out, offset, fmt::format("0xA2 value {}", k + 1), float_text(block, offset));
  }
}

}  // namespace

std::string describe_block(const Block& block) {
  std::string out;
  append_fields(out, block, kHeadFields);
  append_modules(out, block);
  append_fields(out, block, kRawFields);
  append_values_a2(out, block);
  append_fields(out, block, kTailFields);
  return out;
}

std::string plain_value(const std::string&, std::string_view neutral, float value) {
  return neutral.empty() ? fmt::format("{:.1f}", value) : fmt::format("{} {:.1f}", neutral, value);
}

std::string summarize_block(const Block& block, const ValueText& show) {
  std::string out = fmt::format("data id {}, {}, {} modules\n", get_u32le(block, kDataId),
                                timestamp_text(block), block[kModuleCount]);
  for (std::size_t i = 0; i < current_modules(block); ++i) {
    const std::size_t record = module_record(i);
    fmt::format_to(std::back_inserter(out), "  module {}: {} {}\n", i + 1,
                   show(fmt::format("modules[{}].value", i + 1), "",
                        get_f32le(block, record + kModuleValue)),
                   status_name(block[record + kModuleStatus]));
  }
  fmt::format_to(std::back_inserter(out), "  {}, {}\n  0xA2 values",
                 show("system_value", "system value", get_f32le(block, kSystemValue)),
                 show("value_95", "0x95 value", get_f32le(block, kValue95)));
  for (std::size_t k = 0; k < kValueCountA2; ++k)
    out += ' ' + show(fmt::format("values_a2[{}]", k), "", get_f32le(block, kValuesA2 + 4 * k));
  out += '\n';
  return out;
}

}  // namespace qmr4100::gateway
