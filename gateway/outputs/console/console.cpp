#include "outputs/console/console.h"

#include <fcntl.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include <fmt/format.h>

#include "text/time_text.h"

namespace qmr4100::gateway {
namespace {

// How long the last lines may wait for a reader that is there but slow.
constexpr int kLastWaitMs = 1000;

bool ready(int fd, int wait_ms) {
  pollfd entry{fd, POLLOUT, 0};
  int result;
  do result = ::poll(&entry, 1, wait_ms);
  while (result < 0 && errno == EINTR);
  // An error or hang-up is left for the write to name.
  return result > 0;
}

}  // namespace

Console::Console(int fd, std::size_t pending_limit)
    : m_fd(::fcntl(fd, F_DUPFD_CLOEXEC, 0)), m_pendingLimit(pending_limit) {}

Console::~Console() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    WriteReady();
    while (!m_broken && !m_pending.empty() && ready(m_fd, kLastWaitMs)) WriteReady();
  }
  if (m_fd >= 0) ::close(m_fd);
}

void Console::Line(std::string_view text) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_broken) return;
  Keep(text);
  if (!m_scheduler) return WriteReady();
  if (m_flushScheduled) return;
  m_flushScheduled = true;
  m_scheduler([this] { Flush(); });
}

// Once a line is dropped the rest wait for the console to take all it
// holds, so what is shown has one gap, named where it is.
void Console::Keep(std::string_view text) {
  if (m_dropped > 0 || m_pending.size() + text.size() + 1 > m_pendingLimit) {
    ++m_dropped;
    return;
  }
  m_pending.append(text);
  m_pending += '\n';
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
  WriteReady();
}

void Console::SetScheduler(Scheduler scheduler) {
  Flush();
  std::lock_guard<std::mutex> lock(m_mutex);
  m_scheduler = std::move(scheduler);
}

// The count of dropped lines follows the last line shown before them, once
// the console has taken all it held.
void Console::WriteReady() {
  WriteSome();
  if (m_broken || !m_pending.empty() || m_dropped == 0) return;
  m_pending = fmt::format("console: {} lines dropped while the console was not read\n", m_dropped);
  m_dropped = 0;
  WriteSome();
}

// Up to PIPE_BUF bytes at a time: a pipe that polls writable takes that many
// without blocking. What is left keeps its place at the front.
void Console::WriteSome() {
  std::size_t written = 0;
  while (!m_broken && written < m_pending.size() && ready(m_fd, 0)) {
    const std::size_t size = std::min<std::size_t>(PIPE_BUF, m_pending.size() - written);
    const ssize_t result = ::write(m_fd, m_pending.data() + written, size);
    if (result < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (result <= 0) Broken(result < 0 ? errno : EIO);
    else written += static_cast<std::size_t>(result);
  }
  m_pending.erase(0, written);
}

void Console::Broken(int error) {
  m_broken = true;
  m_pending.clear();
  m_dropped = 0;
  const std::string text = fmt::format(
      "console: cannot write to standard output ({}); the record and the outputs go on\n",
      std::strerror(error));
  // Standard error may be gone too; nothing is left to tell then.
  [[maybe_unused]] const ssize_t ignored = ::write(STDERR_FILENO, text.data(), text.size());
}

}  // namespace qmr4100::gateway
