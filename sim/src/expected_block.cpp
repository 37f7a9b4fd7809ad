#include <algorithm>
#include <sstream>

#include "qmr4100/sim/scenario.h"

namespace qmr4100::sim {
namespace {

void put_tenths(Block& block, std::size_t offset, Tenths value) {
  put_f32le(block, offset, tenths(static_cast<std::uint8_t>(value >> 8),
                                  static_cast<std::uint8_t>(value & 0xFF)));
}

void put_modules(Block& block, const std::vector<Module>& modules) {
  block[layout::kModuleCount] = static_cast<std::uint8_t>(modules.size());
  for (std::size_t i = 0; i < modules.size(); ++i) {
    const std::size_t record = layout::module_record(i);
    put_tenths(block, record + layout::kModuleValue, modules[i].value);
    std::copy(modules[i].states.begin(), modules[i].states.end(),
              block.begin() + record + layout::kModuleStates);
    block[record + layout::kModuleStatus] = modules[i].status;
  }
}

// Named regions, so a difference says where it is.
struct Region {
  std::size_t offset;
  std::size_t size;
  const char* name;
};

constexpr Region kRegions[] = {
    {layout::kSystemValue, 4, "system value (0x42)"},
    {layout::kModuleCount, 1, "module count"},
    {layout::kModules, layout::kModuleSize * layout::kMaxModules, "module records"},
    {layout::kBattery, layout::kBatterySize, "battery data (0x91)"},
    {layout::kEntries9C, layout::kEntrySize9C * layout::kMaxEntries9C, "entries (0x9C)"},
    {layout::kRaw86, layout::kRaw86Size, "0x86 bytes"},
    {layout::kValuesA2, 4 * layout::kValueCountA2, "values (0xA2)"},
    {layout::kBytesA2, layout::kByteCountA2, "bytes (0xA2)"},
    {layout::kBytes95, 2, "bytes (0x95)"},
    {layout::kValue95, 4, "value (0x95)"},
};

const char* region_name(std::size_t offset) {
  for (const Region& r : kRegions) {
    if (offset >= r.offset && offset < r.offset + r.size) return r.name;
  }
  return "?";
}

std::string describe_difference(const Block& published, const Block& expected,
                                std::size_t offset) {
  std::ostringstream out;
  out << "offset " << offset << " (" << region_name(offset);
  if (offset >= layout::kModules && offset < layout::kBattery) {
    out << ", module " << (offset - layout::kModules) / layout::kModuleSize + 1 << " byte "
        << (offset - layout::kModules) % layout::kModuleSize;
  }
  out << "): published 0x" << std::hex << int{published[offset]} << ", expected 0x"
      << int{expected[offset]};
  return out.str();
}

bool ignored(std::size_t offset, std::size_t module_count, std::size_t entries_9c) {
  if (offset < layout::kSystemValue || offset >= layout::kTimestamp) return true;
  if (offset >= layout::module_record(module_count) && offset < layout::kBattery) return true;
  const std::size_t entries_end = layout::kEntries9C + layout::kEntrySize9C * entries_9c;
  return offset >= entries_end && offset < layout::kRaw86;
}

std::size_t last_nonzero_entry(const Block& expected) {
  for (std::size_t n = layout::kMaxEntries9C; n > 0; --n) {
    const auto entry = expected.begin() + layout::kEntries9C + layout::kEntrySize9C * (n - 1);
    if (std::any_of(entry, entry + layout::kEntrySize9C, [](std::uint8_t b) { return b != 0; })) {
      return n;
    }
  }
  return 0;
}

}  // namespace

Block expected_block(const Scenario& scenario, int cycle) {
  const Scenario s = at_cycle(scenario, cycle);
  Block block{};
  put_tenths(block, layout::kSystemValue, s.system_value);
  put_modules(block, s.modules);
  std::copy(s.battery.begin(), s.battery.end(), block.begin() + layout::kBattery);
  for (std::size_t k = 0; k < s.entries_9c.size(); ++k) {
    std::copy(s.entries_9c[k].begin(), s.entries_9c[k].end(),
              block.begin() + layout::kEntries9C + layout::kEntrySize9C * k);
  }
  std::copy(s.raw_86.begin(), s.raw_86.end(), block.begin() + layout::kRaw86);
  for (std::size_t k = 0; k < s.values_a2.size(); ++k) {
    put_tenths(block, layout::kValuesA2 + 4 * k, s.values_a2[k]);
  }
  std::copy(s.bytes_a2.begin(), s.bytes_a2.end(), block.begin() + layout::kBytesA2);
  std::copy(s.bytes_95.begin(), s.bytes_95.end(), block.begin() + layout::kBytes95);
  put_tenths(block, layout::kValue95, s.value_95);
  return block;
}

std::optional<std::string> compare_block(const Block& published, const Block& expected,
                                         std::size_t entries_9c) {
  const std::size_t module_count =
      std::min<std::size_t>(expected[layout::kModuleCount], layout::kMaxModules);
  entries_9c = std::min(entries_9c, layout::kMaxEntries9C);
  for (std::size_t offset = 0; offset < layout::kBlockSize; ++offset) {
    if (ignored(offset, module_count, entries_9c)) continue;
    if (published[offset] != expected[offset]) {
      return describe_difference(published, expected, offset);
    }
  }
  return std::nullopt;
}

std::optional<std::string> compare_block(const Block& published, const Block& expected) {
  return compare_block(published, expected, last_nonzero_entry(expected));
}

std::optional<std::string> compare_block(const Block& published, const Scenario& s, int cycle) {
  return compare_block(published, expected_block(s, cycle), s.entries_9c.size());
}

}  // namespace qmr4100::sim
