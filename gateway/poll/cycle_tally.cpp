#include "poll/cycle_tally.h"

#include <algorithm>
#include <utility>

namespace qmr4100::gateway {

void CycleTally::Published(const unsigned char* data, std::size_t length) {
  m_block.fill(0);
  std::copy_n(data, std::min(length, m_block.size()), m_block.begin());
}

void CycleTally::Evaluated(const rule_value& point) {
  ++m_points.reported;
  if (point.active) m_points.active.push_back(point);
}

CyclePoints CycleTally::TakePoints() { return std::exchange(m_points, CyclePoints()); }

}  // namespace qmr4100::gateway
