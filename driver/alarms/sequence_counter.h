// The per-code counter of one round completion. Counter keys (codes, and the
// few other keys some points count under) are numbered once when the alarm
// table is built; a round's counter is a fixed array of counts indexed by
// that number, all zero at the start, so every key's sequence numbers start
// again at 1 in each polling cycle.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace qmr4100::alarms {

using CounterId = std::uint8_t;

// More than the alarm table uses; the table refuses to build beyond it.
constexpr std::size_t kMaxCounterKeys = 32;

class SequenceCounter {
 public:
  // Counts one more report under `key`; the count truncated to 16 bits is
  // the report's sequence number.
  unsigned short next(CounterId key) { return static_cast<unsigned short>(++m_counts[key]); }

 private:
  std::array<int, kMaxCounterKeys> m_counts{};
};

}  // namespace qmr4100::alarms
