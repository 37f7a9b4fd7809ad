// What one device reported during its current polling cycle: the block it
// published and the alarm points it evaluated, handed to the state model
// when the poller sees the cycle end.
#pragma once

#include <cstddef>

#include "model/device_state.h"

namespace qmr4100::gateway {

class CycleTally {
 public:
  void Published(const unsigned char* data, std::size_t length);
  void Evaluated(const rule_value& point);

  const Block& LastBlock() const { return m_block; }
  // The points of the cycle; starts the next cycle's count.
  CyclePoints TakePoints();

 private:
  Block m_block{};
  CyclePoints m_points;
};

}  // namespace qmr4100::gateway
