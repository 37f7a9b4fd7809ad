// The line end the simulator serves: the master side of a pseudo-terminal it
// creates, or a serial device set to raw 8N1.
#pragma once

#include <string>

namespace qmr4100::sim {

class SerialPort {
 public:
  // A new pty whose other end is raw, so that no carriage return is turned
  // into a line feed and nothing is echoed. Throws std::runtime_error.
  static SerialPort open_pty();
  // A serial device at `baud`, 8 data bits, no parity, 1 stop bit, raw.
  static SerialPort open_device(const std::string& path, int baud);

  SerialPort(SerialPort&& other) noexcept;
  SerialPort& operator=(SerialPort&& other) noexcept;
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;
  ~SerialPort();

  void close();
  bool is_open() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  // What a gateway opens: the pty's other end or the device.
  const std::string& path() const { return path_; }

 private:
  SerialPort(int fd, int held_fd, std::string path);

  int fd_ = -1;
  // The pty's other end, held open so that the master keeps working while
  // no gateway has it open.
  int held_fd_ = -1;
  std::string path_;
};

// Makes `link` a symlink to `target`, replacing an older symlink atomically.
// Throws std::runtime_error if `link` exists and is not a symlink.
void point_link(const std::string& link, const std::string& target);
// Removes `link` if it is a symlink to `target`: another simulator may have
// taken it over since.
void remove_link(const std::string& link, const std::string& target);

}  // namespace qmr4100::sim
