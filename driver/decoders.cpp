#include "driver/decoders.h"

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "host/SMDVDevice.h"

namespace qmr4100 {
namespace {

void put_tenths(Block& block, std::size_t offset, const std::uint8_t* bytes) {
  put_f32le(block, offset, tenths(bytes[0], bytes[1]));
}

void copy_info(Block& block, std::size_t offset, Info info, std::size_t first, std::size_t count) {
  std::copy_n(info.data + first, count, block.begin() + offset);
}

bool long_enough(Info info, std::size_t needed, const char* answer) {
  if (info.size >= needed) return true;
  std::printf("VARNOK_QMR4100:ProcotolError parse %s answer of %zu bytes, %zu expected\n", answer,
              info.size, needed);
  return false;
}

// The count byte at offset 8 can announce up to 255 modules, but the block
// holds 64 records; a count above that can only come from a cache copy.
bool records_hold(const Block& block, const char* answer) {
  const std::uint8_t count = block[layout::kModuleCount];
  if (count <= layout::kMaxModules) return true;
  std::printf("VARNOK_QMR4100:ProcotolError parse %s stored module count %d above %zu\n", answer,
              count, layout::kMaxModules);
  return false;
}

void log_skip(SMDVDevice* log, const char* format, std::uint8_t skip) {
  if (log != nullptr) log->InfoLog(format, log->DataId(), skip);
}

}  // namespace

// 0x42: the system value and one value per module.
//   info  00 | 01 F4 | 02 | 00 64 00 | 00 C8 01 AA
//         -- | value | M  | module 0  | module 1, one skip byte
int decode_41_42(Block& block, Info info, SMDVDevice* log) {
  constexpr std::size_t kFirstModule = 4;
  if (info.size < kFirstModule) return kFirstModule;
  const std::uint8_t count = info.data[3];
  if (count > layout::kMaxModules) {
    std::printf("VARNOK_QMR4100:ProcotolError parse p41_42 module count %d above %zu\n", count,
                layout::kMaxModules);
    return 0;
  }
  put_tenths(block, layout::kSystemValue, info.data + 1);
  block[layout::kModuleCount] = count;

  std::size_t pos = kFirstModule;
  for (std::size_t i = 0; i < block[layout::kModuleCount]; ++i) {
    if (pos + 3 > info.size) return static_cast<int>(pos + 3);
    put_tenths(block, layout::module_record(i) + layout::kModuleValue, info.data + pos);
    const std::uint8_t skip = info.data[pos + 2];
    pos += 3;
    if (skip != 0) {
      log_skip(log, "VARNOK_QMR4100:ProcotolError {} read 41_42 p is {} not 0", skip);
      pos += skip;
      if (pos > info.size) return static_cast<int>(pos);
    }
  }
  return static_cast<int>(pos);
}

// 0x43: three state bytes per module.
//   info  02 | 01 02 03 00 | 04 05 06 00
//         N  | module 0    | module 1     (last byte of each: skip count)
int decode_41_43(Block& block, Info info, SMDVDevice* log) {
  if (info.size < 1) return 1;
  if (info.data[0] != block[layout::kModuleCount] || !records_hold(block, "p41_43")) return 0;

  std::size_t pos = 1;
  for (std::size_t i = 0; i < block[layout::kModuleCount]; ++i) {
    if (pos + 4 > info.size) return static_cast<int>(pos + 4);
    copy_info(block, layout::module_record(i) + layout::kModuleStates, info, pos, 3);
    const std::uint8_t skip = info.data[pos + 3];
    pos += 4;
    if (skip != 0) {
      log_skip(log, "VARNOK_QMR4100:ProcotolError {} read 41_43 p is {}, not 0", skip);
      pos += skip;
      if (pos > info.size) return static_cast<int>(pos);
    }
  }
  return static_cast<int>(pos);
}

// 0x44: one status byte per module (0x01 fault, 0xFE no communication).
//   info  02 | 01 00 | FE 02 11 22
//         N  | mod 0 | module 1 with two skipped bytes
int decode_41_44(Block& block, Info info) {
  if (info.size < 1) return 1;
  const std::uint8_t count = block[layout::kModuleCount];
  if (info.data[0] != count) {
    std::printf("VARNOK_QMR4100:ProcotolError  parse p41_44 channel_count not equal %d vs %d ",
                info.data[0], count);
    return 0;
  }
  if (!records_hold(block, "p41_44")) return 0;
  std::size_t pos = 1;
  for (std::size_t i = 0; i < count; ++i) {
    if (pos + 2 > info.size) return static_cast<int>(pos + 2);
    block[layout::module_record(i) + layout::kModuleStatus] = info.data[pos];
    pos += 2 + info.data[pos + 1];
    if (pos > info.size) return static_cast<int>(pos);
  }
  return static_cast<int>(pos);
}

// 0x91: 56 bytes of battery data, stored as they come.
bool decode_41_91(Block& block, Info info) {
  if (!long_enough(info, layout::kBatterySize, "p41_91")) return false;
  std::cout << "Battery size:" << layout::kBatterySize << std::endl;
  copy_info(block, layout::kBattery, info, 0, layout::kBatterySize);
  return true;
}

// 0x95: two bytes and a value.
//   info  01 02 | 01 F4
void decode_41_95(Block& block, Info info) {
  if (info.size < 4) return;
  block[layout::kBytes95] = info.data[0];
  block[layout::kBytes95 + 1] = info.data[1];
  put_tenths(block, layout::kValue95, info.data + 2);
}

// 0x9C: an entry count, then four bytes per entry.
//   info  02 | 11 22 33 44 | 55 66 77 88
bool decode_41_9C(Block& block, Info info) {
  if (!long_enough(info, 1, "p41_9C")) return false;
  const std::size_t count = info.data[0];
  if (count > layout::kMaxEntries9C) {
    std::printf("VARNOK_QMR4100:ProcotolError parse p41_9C entry count %zu above %zu\n", count,
                layout::kMaxEntries9C);
    return false;
  }
  if (!long_enough(info, 1 + layout::kEntrySize9C * count, "p41_9C")) return false;
  copy_info(block, layout::kEntries9C, info, 1, layout::kEntrySize9C * count);
  return true;
}

// 0x86: 54 bytes stored as they come.
bool decode_41_86(Block& block, Info info) {
  if (!long_enough(info, layout::kRaw86Size, "p41_86")) return false;
  copy_info(block, layout::kRaw86, info, 0, layout::kRaw86Size);
  return true;
}

// 0xA2: twelve values, then three bytes.
//   info  01 F4 ... (12 x 2 bytes) | 01 02 03
bool decode_41_A2(Block& block, Info info) {
  if (!long_enough(info, layout::kAnswerSizeA2, "p41_A2")) return false;
  for (std::size_t k = 0; k < layout::kValueCountA2; ++k) {
    put_tenths(block, layout::kValuesA2 + 4 * k, info.data + 2 * k);
  }
  copy_info(block, layout::kBytesA2, info, 2 * layout::kValueCountA2, layout::kByteCountA2);
  return true;
}

}  // namespace qmr4100
