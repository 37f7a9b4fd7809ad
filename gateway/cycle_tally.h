// What one device reported during its current polling cycle, for the
// readable per-cycle summary.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "driver/snapshot_layout.h"
#include "host/rule_value.h"

namespace qmr4100::gateway {

class CycleTally {
 public:
  void Published(const unsigned char* data, std::size_t length);
  void Evaluated(const rule_value& point);

  // The block's summary, the number of alarm points and the active ones by
  // description; starts the next cycle's tally.
  std::string TakeSummary();

 private:
  qmr4100::Block m_block{};
  std::size_t m_points = 0;
  std::vector<std::string> m_active;
};

}  // namespace qmr4100::gateway
