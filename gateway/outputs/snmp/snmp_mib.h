// The object identifiers of QMR4100-MIB (mibs/QMR4100-MIB.txt). The root is
// chosen at build time (CMake cache variable QMR4100_SNMP_ROOT).
#pragma once

#include <cstdint>

#include "outputs/snmp/snmp_value.h"

#ifndef QMR4100_SNMP_ROOT
#error "QMR4100_SNMP_ROOT (the MIB's root OID, comma-separated) comes from the build"
#endif

namespace qmr4100::gateway::mib {

constexpr std::uint32_t kRoot[] = {QMR4100_SNMP_ROOT};

constexpr std::uint32_t kNotifications = 0;
constexpr std::uint32_t kObjects = 1;

constexpr std::uint32_t kDeviceTable = 1;
constexpr std::uint32_t kModuleTable = 2;
constexpr std::uint32_t kAlarmTable = 3;

enum class DeviceColumn : std::uint32_t {
  DataId = 1,
  Name,
  Health,
  SecondsSincePublished,
  Published,
  Abandoned,
  Failed,
  ErrorReplies,
  ModuleCount,
  SystemValue,
  SystemValueText,
  ActiveAlarms,
};

enum class ModuleColumn : std::uint32_t { Value = 2, ValueText, Status, Fault, CommFailure };

enum class AlarmColumn : std::uint32_t {
  Identifier = 2,
  Code,
  Name,
  Description,
  Sequence,
  Time,
};

enum class Notification : std::uint32_t {
  AlarmRaised = 1,
  AlarmCleared,
  DeviceOffline,
  DeviceOnline,
};

// qmrDeviceHealth's enumeration.
enum class HealthValue : std::int32_t { Unknown = 1, Online = 2, Offline = 3 };

inline Oid root() { return Oid(std::begin(kRoot), std::end(kRoot)); }

// root.1.table.1.column followed by the index.
inline Oid column(std::uint32_t table, std::uint32_t column, const Oid& index) {
  Oid oid = root();
  oid.insert(oid.end(), {kObjects, table, 1, column});
  oid.insert(oid.end(), index.begin(), index.end());
  return oid;
}

inline Oid notification(Notification which) {
  Oid oid = root();
  oid.insert(oid.end(), {kNotifications, static_cast<std::uint32_t>(which)});
  return oid;
}

}  // namespace qmr4100::gateway::mib
