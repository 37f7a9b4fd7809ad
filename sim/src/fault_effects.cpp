#include "fault_effects.h"

#include <algorithm>
#include <iterator>

#include "ydt1363/frame.h"

namespace qmr4100::sim {
namespace {

// Return codes of a power system that refuses a command. 0xE2 stands for the
// maker-specific codes outside the standard's 0x01-0x06.
constexpr std::uint8_t kErrorCodes[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0xE2};

constexpr std::size_t kMaxNoise = 16;
constexpr std::size_t kMaxPiece = 8;

std::size_t uniform(Rng& rng, std::size_t lo, std::size_t hi) {
  return std::uniform_int_distribution<std::size_t>(lo, hi)(rng);
}

template <typename T>
std::vector<T> repeated_to(const std::vector<T>& items, std::size_t count) {
  std::vector<T> out(count);
  if (items.empty()) return out;
  for (std::size_t i = 0; i < count; ++i) out[i] = items[i % items.size()];
  return out;
}

}  // namespace

std::string noise_bytes(Rng& rng) {
  std::string noise(uniform(rng, 1, kMaxNoise), '\0');
  for (char& c : noise) {
    do {
      c = static_cast<char>(uniform(rng, 0, 0xFF));
    } while (c == ydt1363::kSoi || c == ydt1363::kEoi);
  }
  return noise;
}

std::vector<std::string> split_frame(const std::string& frame, Rng& rng) {
  std::vector<std::string> pieces;
  for (std::size_t pos = 0; pos < frame.size();) {
    const std::size_t size = std::min(uniform(rng, 1, kMaxPiece), frame.size() - pos);
    pieces.push_back(frame.substr(pos, size));
    pos += size;
  }
  return pieces;
}

void corrupt_checksum(std::string& frame) {
  // CHKSUM is the four characters before the carriage return.
  char& last = frame[frame.size() - 2];
  last = last == '0' ? '1' : '0';
}

std::uint8_t error_code(Rng& rng) {
  return kErrorCodes[uniform(rng, 0, std::size(kErrorCodes) - 1)];
}

Scenario with_modules_above_64(const Scenario& s, Rng& rng) {
  Scenario over = s;
  over.modules = repeated_to(s.modules, uniform(rng, layout::kMaxModules + 1, 0xFF));
  return over;
}

Scenario with_entries_above_50(const Scenario& s, Rng& rng) {
  Scenario over = s;
  over.entries_9c = repeated_to(s.entries_9c, uniform(rng, layout::kMaxEntries9C + 1, 0xFF));
  return over;
}

void mismatch_count(Info& info) { info[0] = static_cast<std::uint8_t>(info[0] + 1); }

void shorten(Info& info, Rng& rng) { info.resize(uniform(rng, 0, info.size() - 1)); }

}  // namespace qmr4100::sim
