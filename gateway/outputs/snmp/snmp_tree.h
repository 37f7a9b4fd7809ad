// The values the sub-agent serves, sorted by OID, so that a GET finds its
// instance and a GETNEXT the one after it.
#pragma once

#include <map>
#include <optional>

#include "outputs/snmp/snmp_value.h"

namespace qmr4100::gateway {

class SnmpTree {
 public:
  void Add(const VarBind& bind) { m_values[bind.oid] = bind.value; }
  // nullopt: no such instance.
  std::optional<VarBind> Find(const Oid& oid) const;
  // The first instance after `oid`; nullopt past the last.
  std::optional<VarBind> Next(const Oid& oid) const;
  std::size_t Size() const { return m_values.size(); }

 private:
  std::map<Oid, SnmpValue> m_values;  // vectors compare as OIDs order
};

}  // namespace qmr4100::gateway
