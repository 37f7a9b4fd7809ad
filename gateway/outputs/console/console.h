// The operator's console: the gateway's own lines, collected and written in
// one piece when the io loop gets to it, so a cycle costs one write however
// many lines it made. Driver lines only reach it when asked for.
//
// A console nobody reads never holds up polling: writes only go out while
// the descriptor takes them at once, and what waits is bounded. Beyond the
// bound whole lines are dropped and counted; a console that cannot be
// written at all is said once on standard error and left alone.
#pragma once

#include <cstddef>
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
  static constexpr std::size_t kPendingLimit = 1024 * 1024;

  // Writes to a descriptor of its own for `fd`, so the last lines still go
  // out when whoever gave `fd` has closed it.
  explicit Console(int fd = STDOUT_FILENO, std::size_t pending_limit = kPendingLimit);
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;
  // Gives a slow reader a moment for the last lines.
  ~Console();

  // Thread-safe. Without a scheduler the line is written at once.
  void Line(std::string_view text);
  // "2026-12-08 21:05:39 " before the text.
  void TimedLine(std::string_view text);
  void Flush();
  void SetScheduler(Scheduler scheduler);

 private:
  void Keep(std::string_view text);
  // Writes what the descriptor takes now; the caller holds the mutex.
  void WriteReady();
  void WriteSome();
  void Broken(int error);

  std::mutex m_mutex;
  int m_fd;
  std::size_t m_pendingLimit;
  std::string m_pending;
  std::size_t m_dropped = 0;  // lines since the console stopped taking them
  bool m_broken = false;
  Scheduler m_scheduler;
  bool m_flushScheduled = false;
};

}  // namespace qmr4100::gateway
