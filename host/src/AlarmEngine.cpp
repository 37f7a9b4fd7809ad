#include "host/AlarmEngine.h"

AlarmEngine::PointKey AlarmEngine::KeyOf(const rule_value& point) {
  return PointKey{point.code.str(), point.seq, point.desc.str()};
}

std::vector<AlarmEngine::Transition> AlarmEngine::Apply(const std::vector<rule_value>& batch) {
  std::vector<Transition> changes;
  std::lock_guard<std::mutex> lock(m_mutex);
  for (const rule_value& point : batch) {
    if (point.active) {
      // The latest evaluation replaces the kept one: its identifier or name may differ.
      if (m_active.insert_or_assign(KeyOf(point), point).second)
        changes.push_back(Transition{point, true});
    } else if (!m_active.empty() && m_active.erase(KeyOf(point)) != 0) {
      changes.push_back(Transition{point, false});
    }
  }
  return changes;
}

void AlarmEngine::Restore(const std::vector<rule_value>& active) {
  std::lock_guard<std::mutex> lock(m_mutex);
  for (const rule_value& point : active) m_active.insert_or_assign(KeyOf(point), point);
}

std::vector<rule_value> AlarmEngine::Active() const {
  std::vector<rule_value> active;
  std::lock_guard<std::mutex> lock(m_mutex);
  for (const auto& [key, point] : m_active) active.push_back(point);
  return active;
}
