// The numeric values of a device's last publications, kept in a ring of fixed
// size so that a device costs the same memory after a week as after an hour.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "driver/snapshot_layout.h"
#include "time_text.h"

namespace qmr4100::gateway {

struct HistorySample {
  WallClock::time_point received;
  float system_value = 0;
  float value_95 = 0;
  std::uint8_t module_count = 0;
  // NaN where a module has no communication or is beyond the module count.
  std::array<float, layout::kMaxModules> modules{};
  std::array<float, layout::kValueCountA2> values_a2{};
};

HistorySample sample_of(const Block& block, WallClock::time_point received);

class History {
 public:
  static constexpr std::size_t kCapacity = 720;

  void Add(const HistorySample& sample);
  std::size_t Size() const { return m_size; }
  // 0 is the oldest kept sample.
  const HistorySample& At(std::size_t index) const;

 private:
  std::array<HistorySample, kCapacity> m_samples{};
  std::size_t m_next = 0;
  std::size_t m_size = 0;
};

}  // namespace qmr4100::gateway
