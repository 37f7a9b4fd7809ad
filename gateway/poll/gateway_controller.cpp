#include "poll/gateway_controller.h"

#include <algorithm>
#include <stdexcept>

#include <fmt/format.h>

#include "cache/alarm_file.h"
#include "host/SMDSPDevice.h"
#include "outputs/record/events.h"

namespace qmr4100::gateway {

GatewayController::GatewayController(Record& record, Console& console, StateModel& model,
                                     const std::string& cache_dir)
    : m_record(record),
      m_console(console),
      m_model(model),
      m_cache(cache_dir.empty() ? nullptr : std::make_unique<CacheStore>(cache_dir)),
      m_handOff([](std::function<void()> work) { work(); }) {
  if (!m_cache) return;
  m_writer = std::make_unique<CacheWriter>(
      [this](unsigned int data_id, CacheWriter::Kind kind, const std::string& contents,
             std::string& problem) { return SaveFile(data_id, kind, contents, problem); },
      [this](unsigned int data_id, CacheWriter::Kind kind, const std::string& problem) {
        SavingChanged(data_id, kind, problem);
      });
}

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

void GatewayController::CacheProblem(unsigned int data_id, const std::string& what,
                                     const std::string& problem) {
  m_console.TimedLine(fmt::format("device {}: {}: {}", data_id, what, problem));
  m_record.Write(cache_problem_event(data_id, problem));
}

void GatewayController::RestoreFromCache(SMDVDevice& device) {
  if (!m_cache) return;
  RestoreSnapshot(device);
  RestoreAlarms(device);
}

void GatewayController::RestoreSnapshot(SMDVDevice& device) {
  std::string problem;
  const std::optional<std::string> cached = m_cache->Load(device.DataId(), problem);
  if (!cached) {
    if (!problem.empty()) CacheProblem(device.DataId(), "cached snapshot ignored", problem);
    return;
  }
  const std::string path = m_cache->PathFor(device.DataId());
  if (device.LoadFromCache(*cached) != 1) {
    CacheProblem(device.DataId(), "cached snapshot ignored", path + ": refused by the driver");
    return;
  }
  m_console.TimedLine(fmt::format("device {}: snapshot restored from {}", device.DataId(), path));
  m_record.Write(cache_restored_event(device.DataId(), path));
}

// The alarm engine starts from the points the last run left active, so that
// the first batch raises and clears only what changed since.
void GatewayController::RestoreAlarms(SMDVDevice& device) {
  const unsigned int data_id = device.DataId();
  const std::string path = m_cache->AlarmsPathFor(data_id);
  std::string problem;
  const std::optional<std::string> contents = m_cache->LoadAlarms(data_id, problem);
  std::optional<std::vector<ActiveAlarm>> alarms;
  if (contents) alarms = alarm_file::decode(*contents, data_id, problem);
  if (!alarms) {
    if (!problem.empty())
      CacheProblem(data_id, "active alarms not restored",
                   contents ? path + ": " + problem : problem);
    return;
  }
  if (alarms->empty()) return;
  std::vector<rule_value> points;
  for (const ActiveAlarm& alarm : *alarms) points.push_back(alarm.point);
  Find(device).alarms->Restore(points);
  m_model.RestoreAlarms(data_id, *alarms);
  m_console.TimedLine(fmt::format("device {}: {} active alarm points restored from {}", data_id,
                                  alarms->size(), path));
  m_record.Write(alarms_restored_event(data_id, path, alarms->size()));
}

void GatewayController::FlushCache() {
  if (m_writer) m_writer->Flush();
}

// On the cache writer's thread.
bool GatewayController::SaveFile(unsigned int data_id, CacheWriter::Kind kind,
                                 const std::string& contents, std::string& problem) {
  if (kind == CacheWriter::Kind::Alarms) return m_cache->SaveAlarms(data_id, contents, problem);
  return m_cache->Save(data_id, reinterpret_cast<const unsigned char*>(contents.data()),
                       contents.size(), problem);
}

// On the cache writer's thread, once when saving a file starts to fail and
// once when it works again.
void GatewayController::SavingChanged(unsigned int data_id, CacheWriter::Kind kind,
                                      const std::string& problem) {
  const bool snapshot = kind == CacheWriter::Kind::Snapshot;
  if (!problem.empty()) {
    CacheProblem(data_id, snapshot ? "snapshot not cached" : "active alarms not kept", problem);
    return;
  }
  const std::string path = snapshot ? m_cache->PathFor(data_id) : m_cache->AlarmsPathFor(data_id);
  m_console.TimedLine(fmt::format("device {}: {} again in {}", data_id,
                                  snapshot ? "snapshot cached" : "active alarms kept", path));
  m_record.Write(cache_saved_again_event(data_id, path));
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
  // Written by the cache writer: the io thread does not wait for the disk.
  if (m_writer)
    m_writer->Put(device.DataId(), CacheWriter::Kind::Snapshot,
                  std::string(reinterpret_cast<const char*>(data), length));
  Attached& attached = Find(device);
  attached.tally.Published(data, length);
  attached.link->Published(device);
}

void GatewayController::SaveAlarms(unsigned int data_id) {
  if (!m_writer) return;
  const std::vector<ActiveAlarm> alarms =
      m_model.Read(data_id, [](const DeviceState& device) { return device.Alarms(); });
  m_writer->Put(data_id, CacheWriter::Kind::Alarms, alarm_file::encode(data_id, alarms));
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
    SaveAlarms(data_id);
  });
  return true;
}

void GatewayController::InfoLog(const std::string& line) {
  if (m_showLogLines) m_console.Line(line);
  m_record.Write(log_event(line));
}

}  // namespace qmr4100::gateway
