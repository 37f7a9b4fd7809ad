#include "outputs/snmp/snmp_agent.h"
#include "outputs/snmp/snmp_start.h"

#include <exception>
#include <utility>

#include <pthread.h>
#include <signal.h>

#include "outputs/snmp/snmp_objects.h"
#include "outputs/snmp/snmp_subagent.h"

namespace qmr4100::gateway {
namespace {

// A walk sees one consistent picture; a new one at most this old.
constexpr std::chrono::milliseconds kTreeLifetime{1000};

// The agent's thread starts with the output; it stops when the output goes.
class SnmpOutput : public Output {
 public:
  explicit SnmpOutput(SnmpSettings settings) : m_settings(std::move(settings)) {}

  void Start(const OutputContext& context) override {
    m_agent = std::make_unique<SnmpAgent>(m_settings, context.model, context.say);
    m_agent->Start();
  }
  void HealthChanged(const DeviceState& device, const HealthChange& change) override {
    m_agent->HealthChanged(device, change);
  }
  void AlarmChanged(const DeviceState& device, const AlarmChange& change) override {
    m_agent->AlarmChanged(device, change);
  }

 private:
  SnmpSettings m_settings;
  std::unique_ptr<SnmpAgent> m_agent;
};

}  // namespace

SnmpAgent::SnmpAgent(SnmpSettings settings, const StateModel& model, Log log)
    : m_settings(std::move(settings)), m_model(model), m_log(std::move(log)) {}

SnmpAgent::~SnmpAgent() {
  m_stop = true;
  m_wakeup.Wake();
  if (m_thread.joinable()) m_thread.join();
}

void SnmpAgent::Start() { m_thread = std::thread([this] { Run(); }); }

void SnmpAgent::HealthChanged(const DeviceState& device, const HealthChange& change) {
  Push(HealthEvent{device.DataId(), device.Name(), change.to});
}

void SnmpAgent::AlarmChanged(const DeviceState& device, const AlarmChange& change) {
  Push(AlarmEvent{device.DataId(), change});
}

void SnmpAgent::Push(Event event) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_events.push_back(std::move(event));
  m_wakeup.Wake();
}

std::vector<SnmpAgent::Event> SnmpAgent::TakeEvents() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return std::exchange(m_events, {});
}

void SnmpAgent::Run() {
  pthread_setname_np(pthread_self(), "snmp-subagent");  // for top -H and the like
  // Net-SNMP writes to the AgentX socket without MSG_NOSIGNAL: a master that
  // has just gone would otherwise end the gateway with SIGPIPE. Blocked, the
  // write fails with EPIPE and the session notices the master is gone.
  sigset_t pipe_signal;
  sigemptyset(&pipe_signal);
  sigaddset(&pipe_signal, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe_signal, nullptr);
  try {
    SnmpSubagent subagent(m_settings, [this]() -> const SnmpTree& { return Tree(); }, m_log);
    while (!m_stop) {
      subagent.Serve(m_wakeup.Fd());
      m_wakeup.Clear();
      for (const Event& event : TakeEvents()) Notify(subagent, event);
    }
  } catch (const std::exception& error) {
    // Polling does not depend on SNMP: the gateway goes on without it.
    m_log(std::string("SNMP: sub-agent stopped: ") + error.what());
  }
}

void SnmpAgent::Notify(SnmpSubagent& subagent, const Event& event) {
  if (const auto* health = std::get_if<HealthEvent>(&event)) {
    if (auto notification = health_notification(health->data_id, health->name, health->health))
      subagent.Send(*notification);
    return;
  }
  const auto& alarm = std::get<AlarmEvent>(event);
  const std::uint32_t index = alarm.change.raised
                                  ? m_indices.Of(alarm.data_id, alarm.change.point)
                                  : m_indices.Release(alarm.data_id, alarm.change.point);
  subagent.Send(alarm_notification(alarm.change, alarm.data_id, index));
}

const SnmpTree& SnmpAgent::Tree() {
  const auto now = std::chrono::steady_clock::now();
  if (m_tree.Size() != 0 && now - m_treeBuilt < kTreeLifetime) return m_tree;
  SnmpTree tree;
  const WallClock::time_point wall_now = WallClock::now();
  m_model.ReadAll([&](const DeviceState& device) {
    add_device_state(tree, device, wall_now, m_indices);
  });
  m_tree = std::move(tree);
  m_treeBuilt = now;
  return m_tree;
}

void check_snmp_settings(const SnmpSettings&) {}

std::unique_ptr<Output> make_snmp_output(const SnmpSettings& settings) {
  if (settings.agentx.empty()) return nullptr;
  return std::make_unique<SnmpOutput>(settings);
}

}  // namespace qmr4100::gateway
