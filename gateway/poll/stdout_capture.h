// Takes the process's standard output (file descriptor 1) for the lines the
// driver prints, so they reach the record and not the operator's terminal.
// The terminal stays reachable through ConsoleFd(). Lines are handed over
// byte for byte, without their line end, on a reader thread of its own.
#pragma once

#include <functional>
#include <string>
#include <thread>

namespace qmr4100::gateway {

class StdoutCapture {
 public:
  using LineHandler = std::function<void(const std::string& line)>;

  // Throws std::system_error when the pipe cannot be made.
  StdoutCapture();
  // Gives standard output back; the lines written before are all handed over.
  ~StdoutCapture();
  StdoutCapture(const StdoutCapture&) = delete;
  StdoutCapture& operator=(const StdoutCapture&) = delete;

  // Where standard output went before the capture.
  int ConsoleFd() const { return m_console; }
  // Starts handing lines to `handler`; lines written earlier wait in the pipe.
  void Start(LineHandler handler);

 private:
  void ReadLines(int fd);

  int m_console = -1;
  int m_reader = -1;
  LineHandler m_handler;
  std::thread m_thread;
};

}  // namespace qmr4100::gateway
