#include "ydt1363/frame.h"

#include <stdexcept>
#include <string>

namespace ydt1363 {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

void put_hex8(std::string& out, std::uint8_t value) {
  out.push_back(kHexDigits[value >> 4]);
  out.push_back(kHexDigits[value & 0x0F]);
}

void put_hex16(std::string& out, std::uint16_t value) {
  put_hex8(out, static_cast<std::uint8_t>(value >> 8));
  put_hex8(out, static_cast<std::uint8_t>(value & 0xFF));
}

// Upper-case hex only: the line standard never sends lower case.
int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool read_hex8(std::string_view chars, std::size_t pos, std::uint8_t& value) {
  const int hi = hex_value(chars[pos]);
  const int lo = hex_value(chars[pos + 1]);
  if (hi < 0 || lo < 0) return false;
  value = static_cast<std::uint8_t>(hi << 4 | lo);
  return true;
}

bool read_hex16(std::string_view chars, std::size_t pos, std::uint16_t& value) {
  std::uint8_t hi = 0, lo = 0;
  if (!read_hex8(chars, pos, hi) || !read_hex8(chars, pos + 2, lo)) return false;
  value = static_cast<std::uint16_t>(hi << 8 | lo);
  return true;
}

}  // namespace

const char* describe(DecodeError error) {
  switch (error) {
    case DecodeError::None: return "ok";
    case DecodeError::TooShort: return "frame shorter than an empty frame";
    case DecodeError::TooLong: return "frame longer than LENID allows";
    case DecodeError::NoSoi: return "frame does not start with '~'";
    case DecodeError::NoEoi: return "frame does not end with a carriage return";
    case DecodeError::BadHex: return "non-hex character in frame";
    case DecodeError::BadLchksum: return "LCHKSUM does not match LENID";
    case DecodeError::OddLength: return "LENID is odd";
    case DecodeError::LengthMismatch: return "LENID does not match the frame length";
    case DecodeError::BadChksum: return "CHKSUM does not match";
  }
  return "unknown decode error";
}

std::uint16_t length_field(std::uint16_t lenid) {
  lenid &= 0x0FFF;
  const unsigned nibble_sum = (lenid & 0xF) + ((lenid >> 4) & 0xF) + ((lenid >> 8) & 0xF);
  const unsigned lchksum = (~nibble_sum + 1) & 0xF;
  return static_cast<std::uint16_t>(lchksum << 12 | lenid);
}

std::uint16_t checksum(std::string_view chars) {
  unsigned sum = 0;
  for (char c : chars) sum += static_cast<unsigned char>(c);
  return static_cast<std::uint16_t>(~sum + 1);
}

void encode(std::uint8_t ver, std::uint8_t adr, std::uint8_t cid1, std::uint8_t cid2,
            const std::uint8_t* info, std::size_t info_bytes, std::string& out) {
  // LENID has 12 bits: a longer info field cannot be framed.
  if (info_bytes > kMaxInfoBytes) {
    throw std::length_error("YD/T 1363.3 info of " + std::to_string(info_bytes) +
                            " bytes exceeds " + std::to_string(kMaxInfoBytes));
  }
  out.clear();
  out.reserve(kMinFrameChars + 2 * info_bytes);
  out.push_back(kSoi);
  put_hex8(out, ver);
  put_hex8(out, adr);
  put_hex8(out, cid1);
  put_hex8(out, cid2);
  put_hex16(out, length_field(static_cast<std::uint16_t>(2 * info_bytes)));
  for (std::size_t i = 0; i < info_bytes; ++i) put_hex8(out, info[i]);
  put_hex16(out, checksum(std::string_view(out).substr(1)));
  out.push_back(kEoi);
}

std::string encode(const Frame& frame) {
  std::string out;
  encode(frame.ver, frame.adr, frame.cid1, frame.cid2, frame.info.data(), frame.info.size(),
         out);
  return out;
}

DecodeError decode(std::string_view frame, Header& header, std::uint8_t* info,
                   std::size_t capacity) {
  if (frame.size() < kMinFrameChars) return DecodeError::TooShort;
  if (frame.size() > kMaxFrameChars) return DecodeError::TooLong;
  if (frame.front() != kSoi) return DecodeError::NoSoi;
  if (frame.back() != kEoi) return DecodeError::NoEoi;

  std::uint16_t length = 0;
  if (!read_hex8(frame, kPosVer, header.ver) || !read_hex8(frame, kPosAdr, header.adr) ||
      !read_hex8(frame, kPosCid1, header.cid1) || !read_hex8(frame, kPosCid2, header.cid2) ||
      !read_hex16(frame, kPosLength, length)) {
    return DecodeError::BadHex;
  }
  const std::uint16_t lenid = length & 0x0FFF;
  if (length_field(lenid) != length) return DecodeError::BadLchksum;
  if (lenid % 2 != 0) return DecodeError::OddLength;
  if (frame.size() != kMinFrameChars + lenid) return DecodeError::LengthMismatch;

  const std::size_t chk_pos = kPosInfo + lenid;
  std::uint16_t chksum = 0;
  if (!read_hex16(frame, chk_pos, chksum)) return DecodeError::BadHex;
  const std::size_t bytes = lenid / 2;
  if (bytes > capacity) return DecodeError::TooLong;
  for (std::size_t i = 0; i < bytes; ++i) {
    if (!read_hex8(frame, kPosInfo + 2 * i, info[i])) return DecodeError::BadHex;
  }
  if (checksum(frame.substr(1, chk_pos - 1)) != chksum) return DecodeError::BadChksum;
  header.info_chars = lenid;
  return DecodeError::None;
}

DecodeResult decode(std::string_view frame) {
  DecodeResult result;
  Header header;
  std::vector<std::uint8_t> info(kMaxInfoBytes);
  result.error = decode(frame, header, info.data(), info.size());
  if (result.error == DecodeError::None) {
    info.resize(header.info_chars / 2);
    result.frame = Frame{header.ver, header.adr, header.cid1, header.cid2, std::move(info)};
  }
  return result;
}

}  // namespace ydt1363
