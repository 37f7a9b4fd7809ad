#include "host/AlarmEngine.h"

std::vector<AlarmEngine::Transition> AlarmEngine::Apply(const std::vector<rule_value>& batch) {
  std::vector<Transition> changes;
  std::lock_guard<std::mutex> lock(m_mutex);
  for (const rule_value& point : batch) {
    auto [known, inserted] = m_points.try_emplace(PointKey{point.code, point.seq, point.desc}, point);
    const bool was_active = !inserted && known->second.active;
    if (point.active != was_active) changes.push_back(Transition{point, point.active});
    known->second = point;
  }
  return changes;
}

std::vector<rule_value> AlarmEngine::Active() const {
  std::vector<rule_value> active;
  std::lock_guard<std::mutex> lock(m_mutex);
  for (const auto& [key, point] : m_points) {
    if (point.active) active.push_back(point);
  }
  return active;
}
