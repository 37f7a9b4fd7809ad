#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The protocol layer's record of the last decoded answer:
//   byte 0 VER   byte 1 ADR   byte 2 CID1   byte 3 RTN
//   byte 4-5 info length in ASCII characters, little-endian
//   byte 6.. the info field, one byte per two hex characters
class PMBusFrame {
 public:
  static constexpr std::size_t kVer = 0;
  static constexpr std::size_t kAdr = 1;
  static constexpr std::size_t kCid1 = 2;
  static constexpr std::size_t kRtn = 3;
  static constexpr std::size_t kInfoChars = 4;
  static constexpr std::size_t kInfo = 6;
  static constexpr std::size_t kMaxInfoBytes = 2047;

  std::uint16_t info_chars() const {
    return static_cast<std::uint16_t>(bytes[kInfoChars] | bytes[kInfoChars + 1] << 8);
  }
  std::size_t info_bytes() const { return info_chars() / 2; }
  const std::uint8_t* info() const { return bytes.data() + kInfo; }

  std::array<std::uint8_t, kInfo + kMaxInfoBytes> bytes{};
};
