// The device state model: the one place every output (console, record, MQTT,
// HTTP, SNMP) reads from. The gateway's io thread changes it; after each
// change it tells the listeners, on that thread, what changed. Other threads
// read it through Read and ReadAll, which hold its lock for the reading.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "config/config.h"
#include "model/device_state.h"

namespace qmr4100::gateway {

enum class PortEvent { CannotOpen, Lost, Restored };

// Called on the io thread, with the model unlocked; `device` stays valid and
// unchanged for the call. The defaults ignore what a listener does not show.
class StateListener {
 public:
  virtual ~StateListener() = default;
  virtual void Published(const DeviceState&) {}
  // A cycle that did not publish, at the driver's step, and why.
  virtual void Missed(const DeviceState&, CycleResult, int /*step*/, const std::string&) {}
  virtual void HealthChanged(const DeviceState&, const HealthChange&) {}
  virtual void AlarmChanged(const DeviceState&, const AlarmChange&) {}
  virtual void PortChanged(const std::string& /*port*/, PortEvent, const std::string& /*error*/) {}
};

class StateModel {
 public:
  // One device state per configured device.
  explicit StateModel(const GatewayConfig& config);
  StateModel(const StateModel&) = delete;
  StateModel& operator=(const StateModel&) = delete;

  // Before the run; the listener outlives the model's use.
  void AddListener(StateListener& listener) { m_listeners.push_back(&listener); }
  // Before the run, by outputs that publish the decoded view's text.
  void KeepViewTexts(ViewWriter write);

  // Before the run: the alarm points an earlier run left active. No listener
  // is told; they read them with the rest of the state.
  void RestoreAlarms(unsigned int data_id, std::vector<ActiveAlarm> alarms);

  // io thread only.
  void Published(unsigned int data_id, const Block& block, CyclePoints points,
                 WallClock::time_point received, std::chrono::steady_clock::duration took = {});
  void Missed(unsigned int data_id, CycleResult result, int step, const std::string& reason);
  void ErrorReply(unsigned int data_id, std::uint8_t code);
  // A command sent once more for a spoilt answer: not a failure.
  void Retried(unsigned int data_id);
  // The devices on `port` lost it (or never had it); announced once per port.
  void PortDown(const std::string& port, PortEvent event, const std::string& error,
                const std::vector<unsigned int>& data_ids);
  void PortUp(const std::string& port);
  void AlarmsChanged(unsigned int data_id, const std::vector<AlarmEngine::Transition>& changes,
                     WallClock::time_point time);

  // Any thread. `read(const DeviceState&)`; throws std::out_of_range for an
  // unknown data id.
  template <class Reader>
  auto Read(unsigned int data_id, Reader&& read) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return read(m_devices.at(data_id));
  }
  // `read(const DeviceState&)` for every device, by data id.
  template <class Reader>
  void ReadAll(Reader&& read) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const auto& entry : m_devices) read(entry.second);
  }
  bool Has(unsigned int data_id) const { return m_devices.count(data_id) != 0; }

 private:
  DeviceState& Device(unsigned int data_id) { return m_devices.at(data_id); }
  void Announce(const DeviceState& device, const std::optional<HealthChange>& change);

  mutable std::mutex m_mutex;
  std::map<unsigned int, DeviceState> m_devices;  // fixed after construction
  std::vector<StateListener*> m_listeners;
};

}  // namespace qmr4100::gateway
