// One SNMP variable binding as the gateway's MIB code builds it, free of any
// SNMP library: the Net-SNMP glue turns it into the library's own binding.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qmr4100::gateway {

using Oid = std::vector<std::uint32_t>;

// Integer32, Unsigned32/Gauge32, Counter32, OCTET STRING.
enum class SnmpType { Integer, Gauge, Counter, Octets };

struct SnmpValue {
  SnmpType type = SnmpType::Integer;
  std::int64_t number = 0;  // the numeric types
  std::string octets;       // Octets: UTF-8 text or DateAndTime bytes

  static SnmpValue Integer(std::int64_t n) { return {SnmpType::Integer, n, {}}; }
  static SnmpValue Gauge(std::uint32_t n) { return {SnmpType::Gauge, n, {}}; }
  // Counter32 wraps as the MIB's counters do.
  static SnmpValue Counter(std::uint64_t n) {
    return {SnmpType::Counter, static_cast<std::uint32_t>(n), {}};
  }
  static SnmpValue Octets(std::string bytes) { return {SnmpType::Octets, 0, std::move(bytes)}; }
  // TruthValue: true(1), false(2).
  static SnmpValue Truth(bool value) { return Integer(value ? 1 : 2); }

  bool operator==(const SnmpValue& other) const {
    return type == other.type && number == other.number && octets == other.octets;
  }
};

struct VarBind {
  Oid oid;
  SnmpValue value;
};

}  // namespace qmr4100::gateway
