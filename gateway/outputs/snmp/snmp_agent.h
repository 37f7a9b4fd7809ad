// The gateway's SNMP output: serves the QMR4100-MIB from the state model as an
// AgentX sub-agent and sends a notification for each alarm and health
// transition. Net-SNMP runs on a thread of its own; the listener callbacks
// (io thread) only queue the transitions for it, and it reads the model
// through the model's lock.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "model/state_model.h"
#include "outputs/snmp/snmp_alarm_index.h"
#include "outputs/snmp/snmp_settings.h"
#include "outputs/snmp/snmp_tree.h"
#include "outputs/snmp/snmp_wakeup.h"

namespace qmr4100::gateway {

class Gateway;
class SnmpSubagent;

class SnmpAgent : public StateListener {
 public:
  // Thread-safe: called from the agent's thread.
  using Log = std::function<void(const std::string&)>;

  // Add it to the gateway's listeners before the run; `model` outlives it.
  SnmpAgent(SnmpSettings settings, const StateModel& model, Log log);
  // Stops the thread, which closes the session to the master.
  ~SnmpAgent() override;
  SnmpAgent(const SnmpAgent&) = delete;
  SnmpAgent& operator=(const SnmpAgent&) = delete;

  void Start();

  void HealthChanged(const DeviceState& device, const HealthChange& change) override;
  void AlarmChanged(const DeviceState& device, const AlarmChange& change) override;

 private:
  struct HealthEvent {
    unsigned int data_id;
    std::string name;
    Health health;
  };
  struct AlarmEvent {
    unsigned int data_id;
    AlarmChange change;
  };
  using Event = std::variant<HealthEvent, AlarmEvent>;

  void Push(Event event);
  std::vector<Event> TakeEvents();
  void Run();
  void Notify(SnmpSubagent& subagent, const Event& event);
  const SnmpTree& Tree();

  SnmpSettings m_settings;
  const StateModel& m_model;
  Log m_log;
  std::mutex m_mutex;
  std::vector<Event> m_events;  // guarded by m_mutex
  std::atomic<bool> m_stop{false};
  SnmpWakeup m_wakeup;
  std::thread m_thread;
  // The agent thread's own.
  SnmpAlarmIndex m_indices;
  SnmpTree m_tree;
  std::chrono::steady_clock::time_point m_treeBuilt{};
};


}  // namespace qmr4100::gateway
