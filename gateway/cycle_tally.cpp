#include "cycle_tally.h"

#include <algorithm>

#include "block_view.h"

namespace qmr4100::gateway {

void CycleTally::Published(const unsigned char* data, std::size_t length) {
  m_block.fill(0);
  std::copy_n(data, std::min(length, m_block.size()), m_block.begin());
}

void CycleTally::Evaluated(const rule_value& point) {
  ++m_points;
  if (point.active) m_active.push_back(point.desc);
}

std::string CycleTally::TakeSummary() {
  std::string text = summarize_block(m_block);
  if (!text.empty() && text.back() != '\n') text += '\n';
  text +=
      "alarm points: " + std::to_string(m_points) + ", active: " + std::to_string(m_active.size());
  for (const std::string& desc : m_active) text += "\n  active: " + desc;
  *this = CycleTally();
  return text;
}

}  // namespace qmr4100::gateway
