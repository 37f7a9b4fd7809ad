#include "text/utf8.h"

namespace qmr4100::gateway {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// How a sequence starting with `lead` goes on: its length and the range of
// its second byte (the later ones are 0x80..0xBF), which rules out overlong
// forms, surrogates and code points past U+10FFFF.
struct Lead {
  std::size_t length;  // 0: no sequence starts with this byte
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
};

Lead lead_of(unsigned char byte) {
  if (byte < 0x80) return {1};
  if (byte >= 0xC2 && byte <= 0xDF) return {2};
  if (byte == 0xE0) return {3, 0xA0};
  if (byte == 0xED) return {3, 0x80, 0x9F};
  if (byte >= 0xE1 && byte <= 0xEF) return {3};
  if (byte == 0xF0) return {4, 0x90};
  if (byte >= 0xF1 && byte <= 0xF3) return {4};
  if (byte == 0xF4) return {4, 0x80, 0x8F};
  return {0};
}

// Bytes of `text` from `at` that form one valid character, or, as a negative
// number, the bytes of the invalid start to replace as one (at least one).
long sequence_at(std::string_view text, std::size_t at) {
  const Lead lead = lead_of(static_cast<unsigned char>(text[at]));
  if (lead.length == 0) return -1;
  for (std::size_t i = 1; i < lead.length; ++i) {
    if (at + i >= text.size()) return -static_cast<long>(i);
    const auto byte = static_cast<unsigned char>(text[at + i]);
    const bool fits = i == 1 ? byte >= lead.low && byte <= lead.high : byte >= 0x80 && byte <= 0xBF;
    if (!fits) return -static_cast<long>(i);
  }
  return static_cast<long>(lead.length);
}

}  // namespace

std::size_t utf8_character_length(std::string_view text, std::size_t at) {
  const long length = sequence_at(text, at);
  return length > 0 ? static_cast<std::size_t>(length) : 0;
}

bool is_utf8(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    if (static_cast<unsigned char>(text[at]) < 0x80) {
      ++at;
      continue;
    }
    const long length = sequence_at(text, at);
    if (length < 0) return false;
    at += static_cast<std::size_t>(length);
  }
  return true;
}

std::string valid_utf8(std::string_view text) {
  if (is_utf8(text)) return std::string(text);
  std::string out;
  out.reserve(text.size() + 8);
  for (std::size_t at = 0; at < text.size();) {
    const long length = sequence_at(text, at);
    if (length > 0) {
      out.append(text.substr(at, static_cast<std::size_t>(length)));
      at += static_cast<std::size_t>(length);
    } else {
      out.append(kReplacement);
      at += static_cast<std::size_t>(-length);
    }
  }
  return out;
}

}  // namespace qmr4100::gateway
