#include "model/state_model.h"

namespace qmr4100::gateway {

StateModel::StateModel(const GatewayConfig& config) {
  for (DeviceConfig device : config.devices) {
    if (!device.interval) device.interval = config.interval;
    m_devices.emplace(std::piecewise_construct, std::forward_as_tuple(device.data_id),
                      std::forward_as_tuple(device, config.fields, config.offline_after,
                                            config.timeout));
  }
}

void StateModel::KeepViewTexts(ViewWriter write) {
  std::lock_guard<std::mutex> lock(m_mutex);
  for (auto& entry : m_devices) entry.second.KeepViewText(write);
}

void StateModel::Announce(const DeviceState& device, const std::optional<HealthChange>& change) {
  if (!change) return;
  for (StateListener* listener : m_listeners) listener->HealthChanged(device, *change);
}

void StateModel::Published(unsigned int data_id, const Block& block, CyclePoints points,
                           WallClock::time_point received,
                           std::chrono::steady_clock::duration took) {
  DeviceState& device = Device(data_id);
  std::optional<HealthChange> change;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    change = device.Published(block, std::move(points), received, took);
  }
  Announce(device, change);
  for (StateListener* listener : m_listeners) listener->Published(device);
}

void StateModel::Missed(unsigned int data_id, CycleResult result, int step,
                        const std::string& reason) {
  DeviceState& device = Device(data_id);
  std::optional<HealthChange> change;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    change = device.Missed(result, reason, WallClock::now());
  }
  for (StateListener* listener : m_listeners) listener->Missed(device, result, step, reason);
  Announce(device, change);
}

void StateModel::ErrorReply(unsigned int data_id, std::uint8_t code) {
  std::lock_guard<std::mutex> lock(m_mutex);
  Device(data_id).ErrorReply(code);
}

void StateModel::Retried(unsigned int data_id) {
  std::lock_guard<std::mutex> lock(m_mutex);
  Device(data_id).Retried();
}

void StateModel::PortDown(const std::string& port, PortEvent event, const std::string& error,
                          const std::vector<unsigned int>& data_ids) {
  for (StateListener* listener : m_listeners) listener->PortChanged(port, event, error);
  const std::string reason =
      (event == PortEvent::CannotOpen ? "port cannot open: " : "port lost: ") + error;
  for (unsigned int data_id : data_ids) {
    DeviceState& device = Device(data_id);
    std::optional<HealthChange> change;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      change = device.PortDown(reason, WallClock::now());
    }
    Announce(device, change);
  }
}

void StateModel::PortUp(const std::string& port) {
  for (StateListener* listener : m_listeners) listener->PortChanged(port, PortEvent::Restored, "");
}

void StateModel::RestoreAlarms(unsigned int data_id, std::vector<ActiveAlarm> alarms) {
  std::lock_guard<std::mutex> lock(m_mutex);
  Device(data_id).RestoreAlarms(std::move(alarms));
}

void StateModel::AlarmsChanged(unsigned int data_id,
                               const std::vector<AlarmEngine::Transition>& changes,
                               WallClock::time_point time) {
  DeviceState& device = Device(data_id);
  for (const AlarmEngine::Transition& transition : changes) {
    AlarmChange change;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      change = device.Apply(transition, time);
    }
    for (StateListener* listener : m_listeners) listener->AlarmChanged(device, change);
  }
}

}  // namespace qmr4100::gateway
