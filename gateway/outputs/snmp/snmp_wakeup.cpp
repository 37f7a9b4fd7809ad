#include "outputs/snmp/snmp_wakeup.h"

#include <cerrno>
#include <cstdint>
#include <system_error>

#include <sys/eventfd.h>
#include <unistd.h>

namespace qmr4100::gateway {

SnmpWakeup::SnmpWakeup() : m_fd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
  if (m_fd < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

SnmpWakeup::~SnmpWakeup() { close(m_fd); }

void SnmpWakeup::Wake() {
  const std::uint64_t one = 1;
  // Fails only when the counter is full, and then the thread is woken anyway.
  [[maybe_unused]] const ssize_t written = write(m_fd, &one, sizeof one);
}

void SnmpWakeup::Clear() {
  std::uint64_t count = 0;
  [[maybe_unused]] const ssize_t read_bytes = read(m_fd, &count, sizeof count);
}

}  // namespace qmr4100::gateway
