#include "outputs/snmp/snmp_tree.h"

namespace qmr4100::gateway {

std::optional<VarBind> SnmpTree::Find(const Oid& oid) const {
  const auto found = m_values.find(oid);
  if (found == m_values.end()) return std::nullopt;
  return VarBind{found->first, found->second};
}

std::optional<VarBind> SnmpTree::Next(const Oid& oid) const {
  const auto next = m_values.upper_bound(oid);
  if (next == m_values.end()) return std::nullopt;
  return VarBind{next->first, next->second};
}

}  // namespace qmr4100::gateway
