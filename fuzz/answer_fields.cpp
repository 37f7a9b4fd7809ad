#include "answer_fields.h"

#include "driver/snapshot_layout.h"

namespace qmr4100::fuzz {
namespace {

namespace layout = qmr4100::layout;

// Byte ranges [begin, end) of the block outside the module records.
struct BlockRange {
  std::uint8_t code;
  std::size_t begin;
  std::size_t end;
};
constexpr BlockRange kBlockRanges[] = {
    {0x42, layout::kSystemValue, layout::kModuleCount + 1},
    {0x91, layout::kBattery, layout::kBattery + layout::kBatterySize},
    {0x95, layout::kBytes95, layout::kValue95 + 4},
    {0x9C, layout::kEntries9C, layout::kEntries9C + layout::kEntrySize9C * layout::kMaxEntries9C},
    {0x86, layout::kRaw86, layout::kRaw86 + layout::kRaw86Size},
    {0xA2, layout::kValuesA2, layout::kBytesA2 + layout::kByteCountA2},
};

// Byte ranges [begin, end) inside each of the 64 module records.
constexpr BlockRange kRecordRanges[] = {
    {0x42, layout::kModuleValue, layout::kModuleValue + 4},
    {0x43, layout::kModuleStates, layout::kModuleStates + 3},
    {0x44, layout::kModuleStatus, layout::kModuleStatus + 1},
};

bool in(const BlockRange& range, std::uint8_t code, std::size_t offset) {
  return range.code == code && offset >= range.begin && offset < range.end;
}

}  // namespace

bool answer_may_write(std::uint8_t code, std::size_t offset) {
  for (const BlockRange& range : kBlockRanges) {
    if (in(range, code, offset)) return true;
  }
  if (offset < layout::kModules || offset >= layout::module_record(layout::kMaxModules)) {
    return false;
  }
  const std::size_t in_record = (offset - layout::kModules) % layout::kModuleSize;
  for (const BlockRange& range : kRecordRanges) {
    if (in(range, code, in_record)) return true;
  }
  return false;
}

bool round_may_write(std::size_t offset) {
  return offset >= layout::kTimestamp && offset < layout::kTimestamp + layout::kTimestampSize;
}

}  // namespace qmr4100::fuzz
