// The running index of qmrAlarmTable: each raised alarm point of a device gets
// the next number and keeps it until it clears, so a row, its raised and its
// cleared notification share one instance. Used by one thread.
#pragma once

#include <cstdint>
#include <map>
#include <tuple>

#include "host/rule_value.h"

namespace qmr4100::gateway {

class SnmpAlarmIndex {
 public:
  // The point's index, given now if it has none.
  std::uint32_t Of(unsigned int data_id, const rule_value& point);
  // The point's index, which it gives up: the next raise gets a new one.
  std::uint32_t Release(unsigned int data_id, const rule_value& point);

 private:
  // Interned texts tell code and description; with the sequence number, the point.
  using Key = std::tuple<unsigned int, const AlarmTexts*, unsigned short>;

  std::map<Key, std::uint32_t> m_indices;
  std::map<unsigned int, std::uint32_t> m_last;  // by data id
};

}  // namespace qmr4100::gateway
