#include "poll/return_code.h"

#include <array>

#include <fmt/format.h>

namespace qmr4100::gateway {
namespace {

// The standard codes 01 to 06; 80 to EF are the maker's own and not known here.
constexpr std::array<const char*, 7> kMeanings = {
    "normal",         "VER error",    "CHKSUM error",         "LCHKSUM error",
    "CID2 invalid",   "command format error", "invalid data",
};

}  // namespace

std::string describe_return_code(std::uint8_t code) {
  const char* meaning = code < kMeanings.size() ? kMeanings[code] : "unknown";
  return fmt::format("{:02X} ({})", code, meaning);
}

}  // namespace qmr4100::gateway
