#include "outputs/console/console.h"

#include <cerrno>

#include "text/time_text.h"

namespace qmr4100::gateway {
namespace {

void write_all(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = ::write(fd, text.data(), text.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;  // a console that is gone loses its lines, not the run
    text.remove_prefix(static_cast<std::size_t>(written));
  }
}

}  // namespace

void Console::Line(std::string_view text) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_pending.append(text);
  m_pending += '\n';
  if (!m_scheduler) {
    write_all(m_fd, m_pending);
    m_pending.clear();
    return;
  }
  if (m_flushScheduled) return;
  m_flushScheduled = true;
  m_scheduler([this] { Flush(); });
}

void Console::TimedLine(std::string_view text) {
  std::string line = local_text(WallClock::now());
  line += ' ';
  line += text;
  Line(line);
}

void Console::Flush() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_flushScheduled = false;
  write_all(m_fd, m_pending);
  m_pending.clear();
}

void Console::SetScheduler(Scheduler scheduler) {
  Flush();
  std::lock_guard<std::mutex> lock(m_mutex);
  m_scheduler = std::move(scheduler);
}

}  // namespace qmr4100::gateway
