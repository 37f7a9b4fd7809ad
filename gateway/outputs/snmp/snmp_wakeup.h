// Wakes the sub-agent's thread from its wait for Net-SNMP's sockets and
// timers: a notification to send, or the end of the run. Without it the thread
// would have to wake up on a short timer, costing CPU while nobody polls.
#pragma once

namespace qmr4100::gateway {

class SnmpWakeup {
 public:
  // Throws std::system_error when the eventfd cannot be made.
  SnmpWakeup();
  ~SnmpWakeup();
  SnmpWakeup(const SnmpWakeup&) = delete;
  SnmpWakeup& operator=(const SnmpWakeup&) = delete;

  // Any thread.
  void Wake();
  // Readable after Wake until Clear.
  int Fd() const { return m_fd; }
  void Clear();

 private:
  int m_fd;
};

}  // namespace qmr4100::gateway
