// The 895-byte snapshot block: one packed little-endian record that the
// decoders fill, round completion stamps and publishes, and the host caches.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace qmr4100 {

namespace layout {
constexpr std::size_t kBlockSize = 895;

constexpr std::size_t kDataId = 0;          // u32, written by InitSetting
constexpr std::size_t kSystemValue = 4;     // float, 0x42 info bytes 1-2
constexpr std::size_t kModuleCount = 8;     // u8, 0x42 info byte 3
constexpr std::size_t kModules = 9;         // 64 module records
constexpr std::size_t kModuleSize = 8;
constexpr std::size_t kMaxModules = 64;
constexpr std::size_t kBattery = 521;       // 0x91 info bytes 0-55
constexpr std::size_t kBatterySize = 56;
constexpr std::size_t kEntries9C = 577;     // 0x9C entries, 4 bytes each
constexpr std::size_t kEntrySize9C = 4;
constexpr std::size_t kMaxEntries9C = 50;
constexpr std::size_t kRaw86 = 777;         // 0x86 info bytes 0-53
constexpr std::size_t kRaw86Size = 54;
constexpr std::size_t kValuesA2 = 831;      // twelve floats of the 0xA2 answer
constexpr std::size_t kValueCountA2 = 12;
constexpr std::size_t kBytesA2 = 879;       // 0xA2 info bytes 24-26
constexpr std::size_t kByteCountA2 = 3;
constexpr std::size_t kAnswerSizeA2 = 2 * kValueCountA2 + kByteCountA2;  // 27
constexpr std::size_t kBytes95 = 882;       // 0x95 info bytes 0-1
constexpr std::size_t kValue95 = 884;       // float, 0x95 info bytes 2-3
constexpr std::size_t kTimestamp = 888;     // seven bytes of get_ttime
constexpr std::size_t kTimestampSize = 7;

// Within a module record.
constexpr std::size_t kModuleValue = 0;     // float, the module's 0x42 value
constexpr std::size_t kModuleStates = 4;    // three bytes of the 0x43 answer
constexpr std::size_t kModuleStatus = 7;    // first byte of the 0x44 entry

constexpr std::size_t module_record(std::size_t i) { return kModules + kModuleSize * i; }

static_assert(kTimestamp + kTimestampSize == kBlockSize);
static_assert(module_record(kMaxModules) == kBattery);
static_assert(kEntries9C + kEntrySize9C * kMaxEntries9C == kRaw86);
static_assert(kValuesA2 + 4 * kValueCountA2 == kBytesA2);
}  // namespace layout

// Module status bytes that raise the per-module alarm points.
constexpr std::uint8_t kModuleFault = 0x01;
constexpr std::uint8_t kModuleCommFailure = 0xFE;

using Block = std::array<std::uint8_t, layout::kBlockSize>;

inline void put_u32le(Block& block, std::size_t offset, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) block[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

inline std::uint32_t get_u32le(const Block& block, std::size_t offset) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) value |= std::uint32_t{block[offset + i]} << (8 * i);
  return value;
}

inline void put_f32le(Block& block, std::size_t offset, float value) {
  std::uint32_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  put_u32le(block, offset, bits);
}

inline float get_f32le(const Block& block, std::size_t offset) {
  const std::uint32_t bits = get_u32le(block, offset);
  float value = 0;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// Two answer bytes, big-endian, in tenths: 0x01 0xF4 is 50.0.
inline float tenths(std::uint8_t hi, std::uint8_t lo) {
  return static_cast<float>(hi << 8 | lo) / 10.0f;
}

}  // namespace qmr4100
