#include "outputs/snmp/snmp_agent.h"
#include "outputs/snmp/snmp_start.h"

#include <atomic>
#include <chrono>
#include <exception>
#include <future>
#include <mutex>
#include <thread>
#include <utility>
#include <variant>
#include <vector>

#include <fmt/format.h>

#include <pthread.h>
#include <signal.h>

#include "outputs/snmp/snmp_alarm_index.h"
#include "outputs/snmp/snmp_alarm_pairing.h"
#include "outputs/snmp/snmp_bounded_queue.h"
#include "outputs/snmp/snmp_objects.h"
#include "outputs/snmp/snmp_subagent.h"
#include "outputs/snmp/snmp_tree.h"
#include "outputs/snmp/snmp_wakeup.h"

namespace qmr4100::gateway {
namespace {

// A walk sees one consistent picture; a new one at most this old.
constexpr std::chrono::milliseconds kTreeLifetime{1000};
// Notifications waiting while the master does not read: a storm's worth.
constexpr std::size_t kQueueCapacity = 1000;
// Longer than the AgentX socket's send timeout, twice: a last notification
// and the close both fail within it when the master has stopped reading.
constexpr std::chrono::seconds kStopWait{3};

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

// The thread's side of the agent. Everything outside it (the model, the log)
// is reached through Outside, which a stop that gave up on the thread closes.
class SnmpAgent::Core {
 public:
  Core(SnmpSettings settings, const StateModel& model, Log log)
      : m_settings(std::move(settings)), m_model(model), m_log(std::move(log)) {}

  void Start(std::shared_ptr<Core> self) {
    m_thread = std::thread([self] {
      self->Run();
      self->m_done.set_value();
    });
  }
  void Stop();
  void Push(Event event);

 private:
  void Run();
  void Serve(SnmpSubagent& subagent);
  void Notify(SnmpSubagent& subagent, const Event& event);
  const SnmpTree& Tree();
  void Say(const std::string& line);

  SnmpSettings m_settings;
  const StateModel& m_model;
  Log m_log;
  std::mutex m_outsideMutex;
  bool m_cutOff = false;  // guarded by m_outsideMutex
  std::mutex m_mutex;
  SnmpBoundedQueue<Event> m_events{kQueueCapacity};  // guarded by m_mutex
  std::atomic<bool> m_stop{false};
  SnmpWakeup m_wakeup;
  std::promise<void> m_done;
  std::thread m_thread;
  // The agent thread's own.
  SnmpAlarmIndex m_indices;
  SnmpAlarmPairing m_pairing;
  SnmpTree m_tree;
  std::chrono::steady_clock::time_point m_treeBuilt{};
};

SnmpAgent::SnmpAgent(SnmpSettings settings, const StateModel& model, Log log)
    : m_core(std::make_shared<Core>(std::move(settings), model, std::move(log))) {}

SnmpAgent::~SnmpAgent() { m_core->Stop(); }

void SnmpAgent::Start() { m_core->Start(m_core); }

void SnmpAgent::HealthChanged(const DeviceState& device, const HealthChange& change) {
  m_core->Push(HealthEvent{device.DataId(), device.Name(), change.to});
}

void SnmpAgent::AlarmChanged(const DeviceState& device, const AlarmChange& change) {
  m_core->Push(AlarmEvent{device.DataId(), change});
}

void SnmpAgent::Core::Stop() {
  m_stop = true;
  m_wakeup.Wake();
  if (!m_thread.joinable()) return;
  if (m_done.get_future().wait_for(kStopWait) == std::future_status::ready) {
    m_thread.join();
    return;
  }
  {
    std::lock_guard<std::mutex> lock(m_outsideMutex);
    m_cutOff = true;
  }
  m_log(fmt::format("SNMP: the sub-agent did not stop within {} s (the AgentX master does not "
                    "read); the gateway exits without waiting for it",
                    kStopWait.count()));
  m_thread.detach();
}

void SnmpAgent::Core::Push(Event event) {
  bool room = true;
  bool first_drop = false;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    room = m_events.Push(std::move(event));
    first_drop = !room && m_events.Dropped() == 1;
    m_wakeup.Wake();
  }
  if (first_drop)
    Say(fmt::format("SNMP: {} notifications wait for the AgentX master; the oldest are dropped "
                    "from now on, and counted",
                    kQueueCapacity));
}

void SnmpAgent::Core::Run() {
  pthread_setname_np(pthread_self(), "snmp-subagent");  // for top -H and the like
  // Net-SNMP writes to the AgentX socket without MSG_NOSIGNAL: a master that
  // has just gone would otherwise end the gateway with SIGPIPE. Blocked, the
  // write fails with EPIPE and the session notices the master is gone.
  sigset_t pipe_signal;
  sigemptyset(&pipe_signal);
  sigaddset(&pipe_signal, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe_signal, nullptr);
  try {
    SnmpSubagent subagent(
        m_settings, [this]() -> const SnmpTree& { return Tree(); },
        [this](const std::string& line) { Say(line); });
    Serve(subagent);
  } catch (const std::exception& error) {
    // Polling does not depend on SNMP: the gateway goes on without it.
    Say(std::string("SNMP: sub-agent stopped: ") + error.what());
  }
}

void SnmpAgent::Core::Serve(SnmpSubagent& subagent) {
  while (!m_stop) {
    subagent.Serve(m_wakeup.Fd());
    m_wakeup.Clear();
    std::vector<Event> events;
    std::uint64_t dropped = 0;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      events = m_events.Take();
      dropped = m_events.Dropped();
    }
    for (const Event& event : events) Notify(subagent, event);
    if (m_stop && dropped > 0)
      Say(fmt::format("SNMP: {} notifications were dropped while the queue was full", dropped));
  }
}

void SnmpAgent::Core::Notify(SnmpSubagent& subagent, const Event& event) {
  if (const auto* health = std::get_if<HealthEvent>(&event)) {
    if (auto notification = health_notification(health->data_id, health->name, health->health))
      subagent.Send(*notification);
    return;
  }
  const auto& alarm = std::get<AlarmEvent>(event);
  const unsigned int id = alarm.data_id;
  // The raise a clear may bring along shares its index: released only after.
  const std::uint32_t index = m_indices.Of(id, alarm.change.point);
  m_pairing.Pass(id, alarm.change, [&](const AlarmChange& change) {
    return subagent.Send(alarm_notification(change, id, index));
  });
  if (!alarm.change.raised) m_indices.Release(id, alarm.change.point);
}

const SnmpTree& SnmpAgent::Core::Tree() {
  const auto now = std::chrono::steady_clock::now();
  if (m_tree.Size() != 0 && now - m_treeBuilt < kTreeLifetime) return m_tree;
  std::lock_guard<std::mutex> lock(m_outsideMutex);
  // Left behind, the agent answers from its last picture: the model may be gone.
  if (m_cutOff) return m_tree;
  SnmpTree tree;
  const WallClock::time_point wall_now = WallClock::now();
  m_model.ReadAll([&](const DeviceState& device) {
    add_device_state(tree, device, wall_now, m_indices);
  });
  m_tree = std::move(tree);
  m_treeBuilt = now;
  return m_tree;
}

void SnmpAgent::Core::Say(const std::string& line) {
  std::lock_guard<std::mutex> lock(m_outsideMutex);
  if (!m_cutOff) m_log(line);
}

void check_snmp_settings(const SnmpSettings&) {}

std::unique_ptr<Output> make_snmp_output(const SnmpSettings& settings) {
  if (settings.agentx.empty()) return nullptr;
  return std::make_unique<SnmpOutput>(settings);
}

}  // namespace qmr4100::gateway
