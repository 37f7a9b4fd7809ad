#include "model/device_state.h"

#include <algorithm>

#include <fmt/format.h>


namespace qmr4100::gateway {
namespace {

// The alarm engine's notion of one point: identifiers repeat across points.
bool same_point(const rule_value& a, const rule_value& b) {
  return a.code == b.code && a.seq == b.seq && a.desc == b.desc;
}

FieldLabels merged(FieldLabels labels, const FieldLabels& overrides) {
  for (const auto& [key, label] : overrides) labels[key] = label;
  return labels;
}

}  // namespace

const char* health_name(Health health) {
  switch (health) {
    case Health::Unknown: return "unknown";
    case Health::Online: return "online";
    case Health::Offline: return "offline";
  }
  return "unknown";
}

DeviceState::DeviceState(const DeviceConfig& config, const FieldLabels& labels,
                         int offline_after, double timeout)
    : m_dataId(config.data_id),
      m_name(config.name.empty() ? fmt::format("device {}", config.data_id) : config.name),
      m_port(config.port),
      m_address(config.address),
      m_interval(config.interval.value_or(0)),
      m_timeout(timeout),
      m_labels(merged(labels, config.fields)),
      m_offlineAfter(std::max(offline_after, 1)) {}

std::optional<HealthChange> DeviceState::Become(Health health, const std::string& reason,
                                                WallClock::time_point time) {
  if (health == m_health) return std::nullopt;
  HealthChange change{m_health, health, reason, time};
  m_health = health;
  m_healthReason = reason;
  m_healthSince = time;
  return change;
}

std::optional<HealthChange> DeviceState::Published(const Block& block, CyclePoints points,
                                                   WallClock::time_point received,
                                                   std::chrono::steady_clock::duration took) {
  m_block = block;
  m_cycleTime = took;
  m_points = std::move(points);
  m_received = received;
  ++m_counters.published;
  m_missed = 0;
  m_history.Add(block, received);
  if (m_writeView) m_viewText = m_writeView(*this);
  return Become(Health::Online, "published", received);
}

std::optional<HealthChange> DeviceState::Missed(CycleResult result, const std::string& reason,
                                                WallClock::time_point time) {
  ++(result == CycleResult::Abandoned ? m_counters.abandoned : m_counters.failed);
  if (++m_missed < m_offlineAfter) return std::nullopt;
  return Become(Health::Offline,
                fmt::format("no publication in {} cycles; last: {}", m_missed, reason), time);
}

void DeviceState::ErrorReply(std::uint8_t code) {
  ++m_counters.error_replies[fmt::format("{:02X}", code)];
}

std::optional<HealthChange> DeviceState::PortDown(const std::string& reason,
                                                  WallClock::time_point time) {
  return Become(Health::Offline, reason, time);
}

void DeviceState::KeepViewText(ViewWriter write) {
  m_writeView = write;
  m_viewText = write(*this);
}

AlarmChange DeviceState::Apply(const AlarmEngine::Transition& transition,
                               WallClock::time_point time) {
  const rule_value& point = transition.point;
  auto found = std::find_if(m_alarms.begin(), m_alarms.end(),
                            [&](const ActiveAlarm& alarm) { return same_point(alarm.point, point); });
  if (transition.raised && found == m_alarms.end()) m_alarms.push_back({point, time});
  if (!transition.raised && found != m_alarms.end()) m_alarms.erase(found);
  return {point, transition.raised, time};
}

}  // namespace qmr4100::gateway
