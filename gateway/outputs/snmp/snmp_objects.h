// The QMR4100-MIB objects of the device states as variable bindings: the rows
// of the three tables and the objects each notification carries.
#pragma once

#include <vector>

#include "outputs/snmp/snmp_alarm_index.h"
#include "outputs/snmp/snmp_rows.h"
#include "outputs/snmp/snmp_tree.h"

namespace qmr4100::gateway {

struct SnmpNotification {
  Oid trap;  // the value of snmpTrapOID.0
  std::vector<VarBind> objects;
};

std::vector<VarBind> device_objects(const SnmpDeviceRow& row);
std::vector<VarBind> module_objects(const SnmpModuleRow& row);
// A row of qmrAlarmTable; `time` is when the point was raised (or cleared).
std::vector<VarBind> alarm_objects(unsigned int data_id, std::uint32_t index,
                                   const rule_value& point, WallClock::time_point time);

// Every row of one device; alarm rows take their index from `indices`.
void add_device_state(SnmpTree& tree, const DeviceState& device, WallClock::time_point now,
                      SnmpAlarmIndex& indices);

SnmpNotification alarm_notification(const AlarmChange& change, unsigned int data_id,
                                    std::uint32_t index);
// qmrDeviceOnline or qmrDeviceOffline; nothing for a change to unknown.
std::optional<SnmpNotification> health_notification(unsigned int data_id,
                                                    const std::string& name, Health health);

}  // namespace qmr4100::gateway
