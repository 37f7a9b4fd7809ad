// One gateway per serial port: two programs polling one line spoil each
// other's cycles without a word, so the port is locked while it is open
// (flock, and TIOCEXCL on a real serial device) and a second user is told
// who holds it.
#pragma once

#include <sys/types.h>

#include <istream>
#include <optional>
#include <string>

namespace qmr4100::gateway {

// Takes the port open on `fd` (at `path`) for this program alone; the reason
// when it cannot: "port /dev/ttyUSB0 is in use (pid 4242)".
std::optional<std::string> lock_port(int fd, const std::string& path);
// Before closing a port locked by lock_port: a device's exclusive mode would
// otherwise outlive the close while another program still holds it open.
void unlock_port(int fd);
// The reason for a port that would not open because another program has it
// exclusively (EBUSY).
std::string port_in_use(const std::string& path);

// The process holding a flock on the file `device`/`inode`, from the lines
// of /proc/locks.
std::optional<pid_t> flock_holder(std::istream& locks, dev_t device, ino_t inode);

}  // namespace qmr4100::gateway
