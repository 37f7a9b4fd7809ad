#include "gateway_controller.h"

#include <algorithm>
#include <stdexcept>

#include <fmt/format.h>

#include "events.h"
#include "host/SMDSPDevice.h"

namespace qmr4100::gateway {

GatewayController::GatewayController(Record& record, Console& console, StateModel& model,
                                     const std::string& cache_dir)
    : m_record(record),
      m_console(console),
      m_model(model),
      m_cache(cache_dir.empty() ? nullptr : std::make_unique<CacheStore>(cache_dir)),
      m_handOff([](std::function<void()> work) { work(); }) {}

void GatewayController::Attach(const SMDVDevice& device, DeviceLink& link) {
  m_devices.insert_or_assign(&device, Attached{&link, {}, std::make_unique<AlarmEngine>()});
}

GatewayController::Attached& GatewayController::Find(const SMDVDevice& device) {
  auto found = m_devices.find(&device);
  if (found == m_devices.end()) throw std::logic_error("device not attached to the gateway");
  return found->second;
}

const GatewayController::Attached& GatewayController::Find(const SMDVDevice& device) const {
  return const_cast<GatewayController*>(this)->Find(device);
}

void GatewayController::CacheProblem(const SMDVDevice& device, const std::string& what,
                                     const std::string& problem) {
  m_console.TimedLine(fmt::format("device {}: {}: {}", device.DataId(), what, problem));
  m_record.Write(cache_problem_event(device.DataId(), problem));
}

void GatewayController::RestoreFromCache(SMDVDevice& device) {
  if (!m_cache) return;
  std::string problem;
  const std::optional<std::string> cached = m_cache->Load(device.DataId(), problem);
  if (!cached) {
    if (!problem.empty()) CacheProblem(device, "cached snapshot ignored", problem);
    return;
  }
  const std::string path = m_cache->PathFor(device.DataId());
  if (device.LoadFromCache(*cached) != 1) {
    CacheProblem(device, "cached snapshot ignored", path + ": refused by the driver");
    return;
  }
  m_console.TimedLine(fmt::format("device {}: snapshot restored from {}", device.DataId(), path));
  m_record.Write(cache_restored_event(device.DataId(), path));
}

const Block& GatewayController::LastBlock(const SMDVDevice& device) const {
  return Find(device).tally.LastBlock();
}

CyclePoints GatewayController::TakePoints(const SMDVDevice& device) {
  return Find(device).tally.TakePoints();
}

std::vector<rule_value> GatewayController::ActiveAlarms(const SMDVDevice& device) const {
  return Find(device).alarms->Active();
}

int GatewayController::OnSend(SMDSPDevice& device, const unsigned char* data, unsigned int length) {
  Find(device).link->Send(device, data, length);
  return static_cast<int>(length);
}

void GatewayController::OnSnapshot(SMDVDevice& device, int sp, const unsigned char* data,
                                   unsigned int length, bool) {
  if (m_record.Enabled()) m_record.Write(snapshot_event(device.DataId(), sp, data, length));
  SaveToCache(device, data, length);
  Attached& attached = Find(device);
  attached.tally.Published(data, length);
  attached.link->Published(device);
}

void GatewayController::SaveToCache(const SMDVDevice& device, const unsigned char* data,
                                    unsigned int length) {
  if (!m_cache) return;
  std::string error;
  if (!m_cache->Save(device.DataId(), data, length, error))
    CacheProblem(device, "snapshot not cached", error);
}

void GatewayController::OnThreshold(SMDVDevice& device, const rule_value& value) {
  // One event per alarm point, over a thousand a cycle: only when asked for.
  if (m_recordTrace && m_record.Enabled()) m_record.Write(threshold_event(device.DataId(), value));
  Find(device).tally.Evaluated(value);
}

// Runs on the worker thread: the device table is only read here.
bool GatewayController::OnBatch(SMDVDevice& device, const std::vector<rule_value>& values) {
  const unsigned int data_id = device.DataId();
  if (m_record.Enabled()) {
    const auto active = std::count_if(values.begin(), values.end(),
                                      [](const rule_value& value) { return value.active; });
    m_record.Write(batch_event(data_id, values.size(), static_cast<std::size_t>(active)));
  }
  std::vector<AlarmEngine::Transition> changes = Find(device).alarms->Apply(values);
  if (changes.empty()) return true;
  for (const AlarmEngine::Transition& change : changes)
    m_record.Write(alarm_event(data_id, change));
  m_handOff([this, data_id, changes = std::move(changes), time = WallClock::now()] {
    m_model.AlarmsChanged(data_id, changes, time);
  });
  return true;
}

void GatewayController::InfoLog(const std::string& line) {
  if (m_showLogLines) m_console.Line(line);
  m_record.Write(log_event(line));
}

}  // namespace qmr4100::gateway
