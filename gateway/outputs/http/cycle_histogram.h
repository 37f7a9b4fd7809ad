// How long published polling cycles took, in the fixed buckets of the
// gateway's cycle-duration histogram.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>

namespace qmr4100::gateway {

class CycleHistogram {
 public:
  // Upper bounds in seconds; a serial cycle of eight commands at 9600 baud
  // takes a few hundred milliseconds to a few seconds.
  static constexpr std::array<double, 10> kBounds{0.05, 0.1, 0.25, 0.5, 1, 2, 5, 10, 30, 60};

  void Observe(std::chrono::steady_clock::duration took);
  // Observations at or below kBounds[i] (cumulative, as exposed).
  std::uint64_t AtOrBelow(std::size_t bound) const;
  std::uint64_t Count() const { return m_count; }
  double SumSeconds() const { return m_sum; }

 private:
  std::array<std::uint64_t, kBounds.size()> m_buckets{};  // not cumulative
  std::uint64_t m_count = 0;
  double m_sum = 0;
};

}  // namespace qmr4100::gateway
