// The gateway's SNMP output: serves the QMR4100-MIB from the state model as an
// AgentX sub-agent and sends a notification for each alarm and health
// transition. Net-SNMP runs on a thread of its own; the listener callbacks
// (io thread) only queue the transitions for it, and it reads the model
// through the model's lock.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "model/state_model.h"
#include "outputs/snmp/snmp_settings.h"

namespace qmr4100::gateway {

class SnmpAgent : public StateListener {
 public:
  // Thread-safe: called from the agent's thread.
  using Log = std::function<void(const std::string&)>;

  // Add it to the gateway's listeners before the run; `model` outlives it.
  SnmpAgent(SnmpSettings settings, const StateModel& model, Log log);
  // Stops the thread, which closes the session to the master. A thread stuck
  // in Net-SNMP past a few seconds is left behind, cut off from the model and
  // the log, so that the gateway still exits.
  ~SnmpAgent() override;
  SnmpAgent(const SnmpAgent&) = delete;
  SnmpAgent& operator=(const SnmpAgent&) = delete;

  void Start();

  void HealthChanged(const DeviceState& device, const HealthChange& change) override;
  void AlarmChanged(const DeviceState& device, const AlarmChange& change) override;

 private:
  class Core;
  // Shared with the thread, which keeps it when left behind.
  std::shared_ptr<Core> m_core;
};

}  // namespace qmr4100::gateway
