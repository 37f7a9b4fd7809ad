// YD/T 1363.3 frame codec: "~", VER, ADR, CID1, CID2 (RTN in answers), LENGTH,
// INFO, CHKSUM, carriage return; every field as upper-case ASCII hex.
// Pure functions without I/O, shared by the host runtime and the simulator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ydt1363 {

constexpr char kSoi = '~';
constexpr char kEoi = '\r';

// LENID is 12 bits; info is whole bytes, so at most 4094 characters.
constexpr std::size_t kMaxInfoChars = 4094;
constexpr std::size_t kMaxInfoBytes = kMaxInfoChars / 2;
// "~" + VER ADR CID1 CID2 (8) + LENGTH (4) before INFO; CHKSUM (4) + EOI after.
constexpr std::size_t kHeaderChars = 13;
constexpr std::size_t kMinFrameChars = kHeaderChars + 5;
constexpr std::size_t kMaxFrameChars = kMinFrameChars + kMaxInfoChars;

// Character positions inside a frame.
constexpr std::size_t kPosVer = 1;
constexpr std::size_t kPosAdr = 3;
constexpr std::size_t kPosCid1 = 5;
constexpr std::size_t kPosCid2 = 7;
constexpr std::size_t kPosLength = 9;
constexpr std::size_t kPosInfo = 13;

// Return codes of an answer (RTN).
enum class Rtn : std::uint8_t {
  Ok = 0x00,
  BadVersion = 0x01,
  BadChecksum = 0x02,
  BadLchksum = 0x03,
  BadCid2 = 0x04,
  BadFormat = 0x05,
  BadData = 0x06,
};

struct Header {
  std::uint8_t ver = 0;
  std::uint8_t adr = 0;
  std::uint8_t cid1 = 0;
  std::uint8_t cid2 = 0;  // RTN in an answer
  std::uint16_t info_chars = 0;
};

struct Frame {
  std::uint8_t ver = 0;
  std::uint8_t adr = 0;
  std::uint8_t cid1 = 0;
  std::uint8_t cid2 = 0;  // RTN in an answer
  std::vector<std::uint8_t> info;
};

enum class DecodeError {
  None,
  TooShort,     // fewer characters than an empty frame
  TooLong,      // more characters than LENID can announce
  NoSoi,        // character 0 is not "~"
  NoEoi,        // last character is not a carriage return
  BadHex,       // a field character is not 0-9 or A-F
  BadLchksum,   // LENGTH's check nibble does not match LENID
  OddLength,    // LENID announces half a byte
  LengthMismatch,  // LENID disagrees with the characters received
  BadChksum,    // CHKSUM does not match the characters
};

const char* describe(DecodeError error);

// LENGTH field for a LENID: check nibble in bits 15-12, LENID in bits 11-0.
std::uint16_t length_field(std::uint16_t lenid);

// Two's complement (mod 65536) of the sum of the characters in [begin, end).
std::uint16_t checksum(std::string_view chars);

// Appends the frame's characters to `out` after clearing it; reuses its capacity.
// Throws std::length_error for more than kMaxInfoBytes of info.
void encode(std::uint8_t ver, std::uint8_t adr, std::uint8_t cid1, std::uint8_t cid2,
            const std::uint8_t* info, std::size_t info_bytes, std::string& out);
std::string encode(const Frame& frame);

// Decodes one whole frame into `header` and `info` (room for `capacity` bytes;
// kMaxInfoBytes always suffices). Nothing past `frame` is read.
DecodeError decode(std::string_view frame, Header& header, std::uint8_t* info,
                   std::size_t capacity);

struct DecodeResult {
  DecodeError error = DecodeError::None;
  Frame frame;
};
DecodeResult decode(std::string_view frame);

}  // namespace ydt1363
