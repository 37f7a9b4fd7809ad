#include "outputs/snmp/snmp_objects.h"

#include "outputs/snmp/snmp_mib.h"

namespace qmr4100::gateway {
namespace {

using mib::AlarmColumn;
using mib::DeviceColumn;
using mib::ModuleColumn;

constexpr mib::HealthValue kHealthValues[] = {
    mib::HealthValue::Unknown,  // Health::Unknown
    mib::HealthValue::Online,   // Health::Online
    mib::HealthValue::Offline,  // Health::Offline
};

SnmpValue health_value(Health health) {
  return SnmpValue::Integer(static_cast<std::int32_t>(kHealthValues[static_cast<int>(health)]));
}

VarBind device_column(DeviceColumn column, unsigned int data_id, SnmpValue value) {
  return {mib::column(mib::kDeviceTable, static_cast<std::uint32_t>(column), {data_id}),
          std::move(value)};
}

VarBind module_column(ModuleColumn column, const SnmpModuleRow& row, SnmpValue value) {
  return {mib::column(mib::kModuleTable, static_cast<std::uint32_t>(column),
                      {row.data_id, row.number}),
          std::move(value)};
}

VarBind alarm_column(AlarmColumn column, unsigned int data_id, std::uint32_t index,
                     SnmpValue value) {
  return {mib::column(mib::kAlarmTable, static_cast<std::uint32_t>(column), {data_id, index}),
          std::move(value)};
}

VarBind data_id_object(unsigned int data_id) {
  return device_column(DeviceColumn::DataId, data_id, SnmpValue::Gauge(data_id));
}

}  // namespace

std::vector<VarBind> device_objects(const SnmpDeviceRow& row) {
  const unsigned int id = row.data_id;
  // qmrDeviceDataId is only for notifications: the index says it.
  std::vector<VarBind> objects = {
      device_column(DeviceColumn::Name, id, SnmpValue::Octets(admin_string(row.name))),
      device_column(DeviceColumn::Health, id, health_value(row.health)),
      device_column(DeviceColumn::Published, id, SnmpValue::Counter(row.published)),
      device_column(DeviceColumn::Abandoned, id, SnmpValue::Counter(row.abandoned)),
      device_column(DeviceColumn::Failed, id, SnmpValue::Counter(row.failed)),
      device_column(DeviceColumn::ErrorReplies, id, SnmpValue::Counter(row.error_replies)),
      device_column(DeviceColumn::ActiveAlarms, id, SnmpValue::Gauge(row.active_alarms)),
  };
  if (row.seconds_since_published)
    objects.push_back(device_column(DeviceColumn::SecondsSincePublished, id,
                                    SnmpValue::Gauge(*row.seconds_since_published)));
  if (row.module_count)
    objects.push_back(
        device_column(DeviceColumn::ModuleCount, id, SnmpValue::Gauge(*row.module_count)));
  if (row.system_value) {
    objects.push_back(
        device_column(DeviceColumn::SystemValue, id, SnmpValue::Integer(*row.system_value)));
    objects.push_back(device_column(DeviceColumn::SystemValueText, id,
                                    SnmpValue::Octets(tenths_text(*row.system_value))));
  }
  return objects;
}

std::vector<VarBind> module_objects(const SnmpModuleRow& row) {
  std::vector<VarBind> objects = {
      module_column(ModuleColumn::Status, row, SnmpValue::Gauge(row.status)),
      module_column(ModuleColumn::Fault, row, SnmpValue::Truth(row.fault)),
      module_column(ModuleColumn::CommFailure, row, SnmpValue::Truth(row.comm_failure)),
  };
  if (row.value) {
    objects.push_back(module_column(ModuleColumn::Value, row, SnmpValue::Integer(*row.value)));
    objects.push_back(
        module_column(ModuleColumn::ValueText, row, SnmpValue::Octets(tenths_text(*row.value))));
  }
  return objects;
}

std::vector<VarBind> alarm_objects(unsigned int data_id, std::uint32_t index,
                                   const rule_value& point, WallClock::time_point time) {
  const auto text = [](const std::string& value) { return SnmpValue::Octets(admin_string(value)); };
  return {
      alarm_column(AlarmColumn::Identifier, data_id, index, text(point.id.str())),
      alarm_column(AlarmColumn::Code, data_id, index, text(point.code.str())),
      alarm_column(AlarmColumn::Name, data_id, index, text(point.name.str())),
      alarm_column(AlarmColumn::Description, data_id, index, text(point.desc.str())),
      alarm_column(AlarmColumn::Sequence, data_id, index, SnmpValue::Gauge(point.seq)),
      alarm_column(AlarmColumn::Time, data_id, index, SnmpValue::Octets(date_and_time(time))),
  };
}

void add_device_state(SnmpTree& tree, const DeviceState& device, WallClock::time_point now,
                      SnmpAlarmIndex& indices) {
  for (const VarBind& bind : device_objects(snmp_device_row(device, now))) tree.Add(bind);
  for (const SnmpModuleRow& row : snmp_module_rows(device))
    for (const VarBind& bind : module_objects(row)) tree.Add(bind);
  const unsigned int id = device.DataId();
  for (const ActiveAlarm& alarm : device.Alarms())
    for (const VarBind& bind :
         alarm_objects(id, indices.Of(id, alarm.point), alarm.point, alarm.since))
      tree.Add(bind);
}

SnmpNotification alarm_notification(const AlarmChange& change, unsigned int data_id,
                                    std::uint32_t index) {
  SnmpNotification notification{
      mib::notification(change.raised ? mib::Notification::AlarmRaised
                                      : mib::Notification::AlarmCleared),
      {data_id_object(data_id)}};
  for (VarBind& bind : alarm_objects(data_id, index, change.point, change.time))
    notification.objects.push_back(std::move(bind));
  return notification;
}

std::optional<SnmpNotification> health_notification(unsigned int data_id,
                                                    const std::string& name, Health health) {
  if (health == Health::Unknown) return std::nullopt;
  return SnmpNotification{
      mib::notification(health == Health::Online ? mib::Notification::DeviceOnline
                                                 : mib::Notification::DeviceOffline),
      {data_id_object(data_id),
       device_column(DeviceColumn::Name, data_id, SnmpValue::Octets(admin_string(name))),
       device_column(DeviceColumn::Health, data_id, health_value(health))}};
}

}  // namespace qmr4100::gateway
