#include "serial_port.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace qmr4100::sim {
namespace {

[[noreturn]] void fail(const std::string& what) {
  throw std::runtime_error(what + ": " + std::strerror(errno));
}

struct BaudRow {
  int baud;
  speed_t speed;
};

constexpr BaudRow kBauds[] = {
    {1200, B1200},   {2400, B2400},   {4800, B4800},   {9600, B9600},
    {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200},
};

speed_t speed_for(int baud) {
  for (const BaudRow& row : kBauds) {
    if (row.baud == baud) return row.speed;
  }
  throw std::runtime_error("baud rate " + std::to_string(baud) + " is not supported");
}

void make_raw(int fd, speed_t speed, const std::string& path) {
  termios tio{};
  if (tcgetattr(fd, &tio) != 0) fail("cannot read the settings of " + path);
  cfmakeraw(&tio);
  tio.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS);
  tio.c_cflag |= CLOCAL | CREAD | CS8;
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  cfsetispeed(&tio, speed);
  cfsetospeed(&tio, speed);
  if (tcsetattr(fd, TCSANOW, &tio) != 0) fail("cannot set " + path + " to raw 8N1");
}

}  // namespace

SerialPort SerialPort::open_pty() {
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (master < 0) fail("cannot create a pseudo-terminal");
  char name[128];
  if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0) {
    const int saved = errno;
    ::close(master);
    errno = saved;
    fail("cannot unlock the pseudo-terminal");
  }
  const int held = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (held < 0) {
    const int saved = errno;
    ::close(master);
    errno = saved;
    fail(std::string("cannot open ") + name);
  }
  SerialPort port(master, held, name);
  make_raw(held, B9600, port.path_);
  return port;
}

SerialPort SerialPort::open_device(const std::string& path, int baud) {
  const speed_t speed = speed_for(baud);
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) fail("cannot open " + path);
  SerialPort port(fd, -1, path);
  make_raw(fd, speed, path);
  return port;
}

SerialPort::SerialPort(int fd, int held_fd, std::string path)
    : fd_(fd), held_fd_(held_fd), path_(std::move(path)) {}

SerialPort::SerialPort(SerialPort&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      held_fd_(std::exchange(other.held_fd_, -1)),
      path_(std::move(other.path_)) {}

SerialPort& SerialPort::operator=(SerialPort&& other) noexcept {
  if (this != &other) {
    close();
    fd_ = std::exchange(other.fd_, -1);
    held_fd_ = std::exchange(other.held_fd_, -1);
    path_ = std::move(other.path_);
  }
  return *this;
}

SerialPort::~SerialPort() { close(); }

void SerialPort::close() {
  if (held_fd_ >= 0) ::close(std::exchange(held_fd_, -1));
  if (fd_ >= 0) ::close(std::exchange(fd_, -1));
}

void point_link(const std::string& link, const std::string& target) {
  struct stat st {};
  if (lstat(link.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
    throw std::runtime_error(link + " exists and is not a symlink; not replacing it");
  }
  const std::string temporary = link + ".new";
  ::unlink(temporary.c_str());
  if (::symlink(target.c_str(), temporary.c_str()) != 0) fail("cannot create symlink " + temporary);
  if (std::rename(temporary.c_str(), link.c_str()) != 0) {
    const int saved = errno;
    ::unlink(temporary.c_str());
    errno = saved;
    fail("cannot point " + link + " to " + target);
  }
}

void remove_link(const std::string& link, const std::string& target) {
  char points_to[PATH_MAX];
  const ssize_t length = ::readlink(link.c_str(), points_to, sizeof points_to);
  if (length >= 0 && std::string(points_to, static_cast<std::size_t>(length)) == target)
    ::unlink(link.c_str());
}

}  // namespace qmr4100::sim
