#include "poll/stdout_capture.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <iostream>
#include <system_error>

namespace qmr4100::gateway {
namespace {

[[noreturn]] void fail(const char* what) {
  throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

StdoutCapture::StdoutCapture() {
  std::cout.flush();
  std::fflush(stdout);
  int ends[2];
  m_console = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
  if (m_console < 0) fail("cannot keep standard output");
  if (::pipe2(ends, O_CLOEXEC) != 0) fail("cannot make a pipe for the driver's output");
  if (::dup2(ends[1], STDOUT_FILENO) < 0) fail("cannot redirect standard output");
  ::close(ends[1]);
  m_reader = ends[0];
}

void StdoutCapture::Start(LineHandler handler) {
  m_handler = std::move(handler);
  m_thread = std::thread([this] { ReadLines(m_reader); });
}

StdoutCapture::~StdoutCapture() {
  std::cout.flush();
  std::fflush(stdout);
  // Standard output was the pipe's last writer: the reader sees its end.
  ::dup2(m_console, STDOUT_FILENO);
  if (m_thread.joinable()) {
    m_thread.join();
  } else {
    // Never started: what was captured goes where it would have gone.
    m_handler = [](const std::string& line) { std::cout << line << '\n'; };
    ReadLines(m_reader);
    std::cout.flush();
  }
  ::close(m_reader);
  ::close(m_console);
}

void StdoutCapture::ReadLines(int fd) {
  std::string pending;
  char buffer[8192];
  for (;;) {
    const ssize_t count = ::read(fd, buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) break;
    pending.append(buffer, static_cast<std::size_t>(count));
    std::size_t start = 0;
    for (std::size_t end; (end = pending.find('\n', start)) != std::string::npos; start = end + 1)
      if (m_handler) m_handler(pending.substr(start, end - start));
    pending.erase(0, start);
  }
  if (!pending.empty() && m_handler) m_handler(pending);
}

}  // namespace qmr4100::gateway
