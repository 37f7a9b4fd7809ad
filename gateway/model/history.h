// The numeric values of a device's last publications, kept in a ring of
// kCapacity samples so that a device costs the same memory after a week as
// after an hour. The ring is allocated at the first publication, with room
// for as many module values per sample as the device has reported modules:
// a configured device that never answers costs next to nothing, and one of
// 4 modules a quarter of the memory of one of 64.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "driver/snapshot_layout.h"
#include "text/time_text.h"

namespace qmr4100::gateway {

// One sample's values but the modules' (History::Module has those).
struct HistorySample {
  WallClock::time_point received;
  float system_value = 0;
  float value_95 = 0;
  std::uint8_t module_count = 0;
  std::array<float, layout::kValueCountA2> values_a2{};
};

class History {
 public:
  static constexpr std::size_t kCapacity = 720;

  void Add(const Block& block, WallClock::time_point received);
  std::size_t Size() const { return m_size; }
  // 0 is the oldest kept sample.
  const HistorySample& At(std::size_t index) const { return m_samples[Slot(index)]; }
  // Module `module` (0-based) of sample `index`: NaN where it had no
  // communication or was beyond the sample's module count.
  float Module(std::size_t index, std::size_t module) const;
  // The most modules any kept sample reported.
  std::size_t ModuleColumns() const;

 private:
  std::size_t Slot(std::size_t index) const { return (m_next + kCapacity - m_size + index) % kCapacity; }
  void Widen(std::size_t columns);

  std::vector<HistorySample> m_samples;  // kCapacity once the first sample came
  std::vector<float> m_modules;          // kCapacity rows of m_columns values
  std::size_t m_columns = 0;
  std::size_t m_next = 0;
  std::size_t m_size = 0;
};

}  // namespace qmr4100::gateway
