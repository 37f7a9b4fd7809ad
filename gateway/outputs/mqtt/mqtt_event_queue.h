// Events kept while the broker is away: at most `limit` of them, the oldest
// dropped first, so a long outage costs bounded memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <utility>

#include "outputs/mqtt/mqtt_messages.h"

namespace qmr4100::gateway {

class MqttEventQueue {
 public:
  explicit MqttEventQueue(std::size_t limit) : m_limit(limit) {}

  // True when the oldest event had to go to make room.
  bool Push(MqttMessage message) {
    const bool full = m_events.size() >= m_limit;
    if (full) {
      m_events.pop_front();
      ++m_dropped;
    }
    m_events.push_back(std::move(message));
    return full;
  }
  std::deque<MqttMessage> TakeAll() { return std::exchange(m_events, {}); }
  std::size_t Size() const { return m_events.size(); }
  // Dropped since the last call.
  std::uint64_t TakeDropped() { return std::exchange(m_dropped, 0); }

 private:
  std::size_t m_limit;
  std::deque<MqttMessage> m_events;
  std::uint64_t m_dropped = 0;
};

}  // namespace qmr4100::gateway
