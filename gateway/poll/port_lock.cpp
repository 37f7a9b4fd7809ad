#include "poll/port_lock.h"

#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include <fmt/format.h>

namespace qmr4100::gateway {
namespace {

// Unix98 pseudo-terminal slaves have majors 136 to 143.
constexpr unsigned int kFirstPtyMajor = 136;
constexpr unsigned int kPtyMajors = 8;

bool is_pseudo_terminal(const struct stat& st) {
  return major(st.st_rdev) >= kFirstPtyMajor && major(st.st_rdev) < kFirstPtyMajor + kPtyMajors;
}

// TIOCEXCL keeps out programs that take no lock. Not on a pseudo-terminal:
// its other end keeps it alive, and with it the flag of a gateway that was killed.
bool takes_exclusive_mode(const struct stat& st) {
  return S_ISCHR(st.st_mode) && !is_pseudo_terminal(st);
}

std::string in_use(const std::string& path, const std::optional<pid_t>& holder) {
  return holder ? fmt::format("port {} is in use (pid {})", path, *holder)
                : fmt::format("port {} is in use", path);
}

std::optional<pid_t> holder_of(const struct stat& st) {
  std::ifstream locks("/proc/locks");
  return flock_holder(locks, st.st_dev, st.st_ino);
}

// "MAJOR:MINOR:INODE", major and minor in hex as the kernel writes them.
bool same_file(const std::string& field, dev_t device, ino_t inode) {
  unsigned int file_major = 0;
  unsigned int file_minor = 0;
  unsigned long long file_inode = 0;
  return std::sscanf(field.c_str(), "%x:%x:%llu", &file_major, &file_minor, &file_inode) == 3 &&
         file_major == major(device) && file_minor == minor(device) && file_inode == inode;
}

}  // namespace

std::optional<pid_t> flock_holder(std::istream& locks, dev_t device, ino_t inode) {
  // "1: FLOCK  ADVISORY  WRITE 4242 00:18:3 0 EOF"; a waiter's line has "->" after the number.
  std::string line;
  while (std::getline(locks, line)) {
    std::istringstream fields(line);
    std::string number, kind, mode, access, file;
    long pid = 0;
    fields >> number >> kind;
    if (kind == "->") continue;
    if (!(fields >> mode >> access >> pid >> file) || kind != "FLOCK") continue;
    if (pid > 0 && same_file(file, device, inode)) return static_cast<pid_t>(pid);
  }
  return std::nullopt;
}

std::optional<std::string> lock_port(int fd, const std::string& path) {
  struct stat st {};
  if (fstat(fd, &st) != 0) return fmt::format("{}: {}", path, std::strerror(errno));
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK) return in_use(path, holder_of(st));
    return fmt::format("{}: cannot lock: {}", path, std::strerror(errno));
  }
  if (takes_exclusive_mode(st) && ioctl(fd, TIOCEXCL) != 0)
    return fmt::format("{}: cannot take it exclusively: {}", path, std::strerror(errno));
  return std::nullopt;
}

void unlock_port(int fd) {
  struct stat st {};
  if (fstat(fd, &st) == 0 && takes_exclusive_mode(st)) ioctl(fd, TIOCNXCL);
}

std::string port_in_use(const std::string& path) {
  struct stat st {};
  return in_use(path, stat(path.c_str(), &st) == 0 ? holder_of(st) : std::nullopt);
}

}  // namespace qmr4100::gateway
