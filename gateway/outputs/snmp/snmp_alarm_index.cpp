#include "outputs/snmp/snmp_alarm_index.h"

namespace qmr4100::gateway {

std::uint32_t SnmpAlarmIndex::Of(unsigned int data_id, const rule_value& point) {
  const Key key{data_id, &point.texts(), point.seq};
  const auto found = m_indices.find(key);
  if (found != m_indices.end()) return found->second;
  std::uint32_t& last = m_last[data_id];
  last = last == UINT32_MAX ? 1 : last + 1;  // 0 is no index in the MIB
  m_indices.emplace(key, last);
  return last;
}

std::uint32_t SnmpAlarmIndex::Release(unsigned int data_id, const rule_value& point) {
  const std::uint32_t index = Of(data_id, point);
  m_indices.erase(Key{data_id, &point.texts(), point.seq});
  return index;
}

}  // namespace qmr4100::gateway
