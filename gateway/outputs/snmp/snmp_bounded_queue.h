// The notifications waiting for the sub-agent's thread, at most a fixed
// number: while the master does not read, the oldest go, counted, and the
// gateway's memory stays bounded however long the alarm storm lasts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

namespace qmr4100::gateway {

template <typename T>
class SnmpBoundedQueue {
 public:
  explicit SnmpBoundedQueue(std::size_t capacity) : m_capacity(capacity) {}

  // False when the oldest waiting item made room for this one.
  bool Push(T item) {
    const bool room = m_items.size() < m_capacity;
    if (!room) {
      m_items.pop_front();
      ++m_dropped;
    }
    m_items.push_back(std::move(item));
    return room;
  }
  std::vector<T> Take() {
    std::vector<T> items(std::make_move_iterator(m_items.begin()),
                         std::make_move_iterator(m_items.end()));
    m_items.clear();
    return items;
  }
  std::uint64_t Dropped() const { return m_dropped; }

 private:
  std::size_t m_capacity;
  std::deque<T> m_items;
  std::uint64_t m_dropped = 0;
};

}  // namespace qmr4100::gateway
