#include "text_width.h"

#include <array>
#include <cstdint>

namespace qmr4100::ctl {
namespace {

struct Range {
  char32_t first;
  char32_t last;
};

// The wide and full-width blocks of Unicode's East Asian Width property.
constexpr std::array<Range, 17> kWide{{
    {0x1100, 0x115F},
    {0x231A, 0x231B},
    {0x2E80, 0x303E},
    {0x3041, 0x33FF},
    {0x3400, 0x4DBF},
    {0x4E00, 0x9FFF},
    {0xA000, 0xA4CF},
    {0xA960, 0xA97F},
    {0xAC00, 0xD7A3},
    {0xF900, 0xFAFF},
    {0xFE10, 0xFE19},
    {0xFE30, 0xFE6F},
    {0xFF00, 0xFF60},
    {0xFFE0, 0xFFE6},
    {0x1F300, 0x1F64F},
    {0x1F900, 0x1F9FF},
    {0x20000, 0x3FFFD},
}};

// Combining marks and joiners, which add nothing to the width.
constexpr std::array<Range, 5> kZeroWidth{{
    {0x0300, 0x036F},
    {0x200B, 0x200F},
    {0x20D0, 0x20FF},
    {0xFE00, 0xFE0F},
    {0xFE20, 0xFE2F},
}};

template <std::size_t N>
bool in(const std::array<Range, N>& ranges, char32_t c) {
  for (const Range& range : ranges)
    if (c >= range.first && c <= range.last) return true;
  return false;
}

constexpr char32_t kInvalid = 0xFFFFFFFF;

// Decodes the sequence at text[at] and moves `at` past it; kInvalid, and one
// byte on, for a byte that starts no valid sequence.

char32_t next_code_point(std::string_view text, std::size_t& at) {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
  const std::uint8_t lead = byte(at);
  std::size_t length = lead < 0x80           ? 1
                       : (lead >> 5) == 0x6  ? 2
                       : (lead >> 4) == 0xE  ? 3
                       : (lead >> 3) == 0x1E ? 4
                                             : 0;
  if (length == 0 || at + length > text.size()) {
    ++at;
    return kInvalid;
  }
  char32_t c = length == 1 ? lead : lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) {
      ++at;
      return kInvalid;
    }
    c = (c << 6) | (byte(at + i) & 0x3F);
  }
  at += length;
  return c;
}

}  // namespace

std::size_t display_width(std::string_view text) {
  std::size_t width = 0;
  for (std::size_t at = 0; at < text.size();) {
    const char32_t c = next_code_point(text, at);
    if (c == kInvalid) {
      ++width;
    } else if (in(kWide, c)) {
      width += 2;
    } else if (!in(kZeroWidth, c)) {
      ++width;
    }
  }
  return width;
}

}  // namespace qmr4100::ctl
