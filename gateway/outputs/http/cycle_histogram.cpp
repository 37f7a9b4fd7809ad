#include "outputs/http/cycle_histogram.h"

#include <algorithm>

namespace qmr4100::gateway {

void CycleHistogram::Observe(std::chrono::steady_clock::duration took) {
  const double seconds = std::chrono::duration<double>(took).count();
  const auto bucket = std::lower_bound(kBounds.begin(), kBounds.end(), seconds);
  if (bucket != kBounds.end()) ++m_buckets[static_cast<std::size_t>(bucket - kBounds.begin())];
  ++m_count;
  m_sum += seconds;
}

std::uint64_t CycleHistogram::AtOrBelow(std::size_t bound) const {
  std::uint64_t total = 0;
  for (std::size_t i = 0; i <= bound && i < m_buckets.size(); ++i) total += m_buckets[i];
  return total;
}

}  // namespace qmr4100::gateway
