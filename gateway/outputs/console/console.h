// The operator's console: the gateway's own lines, collected and written in
// one piece when the io loop gets to it, so a cycle costs one write however
// many lines it made. Driver lines only reach it when asked for.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include <unistd.h>

namespace qmr4100::gateway {

class Console {
 public:
  // Runs `flush` soon, on another turn of the caller's loop.
  using Scheduler = std::function<void(std::function<void()> flush)>;

  explicit Console(int fd = STDOUT_FILENO) : m_fd(fd) {}
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;
  ~Console() { Flush(); }

  // Thread-safe. Without a scheduler the line is written at once.
  void Line(std::string_view text);
  // "2026-12-08 21:05:39 " before the text.
  void TimedLine(std::string_view text);
  void Flush();
  void SetScheduler(Scheduler scheduler);

 private:
  std::mutex m_mutex;
  int m_fd;
  std::string m_pending;
  Scheduler m_scheduler;
  bool m_flushScheduled = false;
};

}  // namespace qmr4100::gateway
