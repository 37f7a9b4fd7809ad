#include "outputs/record/record.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <stdexcept>

#include <fmt/format.h>

#include "outputs/record/events.h"
#include "text/json_text.h"
#include "text/time_text.h"

namespace qmr4100::gateway {

namespace fs = std::filesystem;

namespace {

constexpr std::chrono::milliseconds kLongestWait{60'000};

std::string reason() { return std::strerror(errno); }

}  // namespace

Record::Record(RecordOptions options, Say say)
    : m_options(std::move(options)), m_say(std::move(say)) {
  if (!m_say) m_say = [](const std::string& line) { std::cerr << line << "\n"; };
  std::string problem;
  if (Enabled() && !Open(problem)) throw std::runtime_error(problem);
}

Record::~Record() {
  // The count of what was lost is worth one more try, whatever the wait.
  std::vector<std::string> said;
  if (m_failing) Recover(said);
  Close();
  Tell(said);
}

bool Record::Open(std::string& problem) {
  const fs::path folder = fs::path(m_options.path).parent_path();
  std::error_code ignored;  // a folder that cannot be made fails the open
  if (!folder.empty()) fs::create_directories(folder, ignored);
  m_fd = ::open(m_options.path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
  struct stat info {};
  if (m_fd < 0 || ::fstat(m_fd, &info) != 0) {
    problem = fmt::format("{}: cannot open the record file: {}", m_options.path, reason());
    Close();
    return false;
  }
  m_device = info.st_dev;
  m_inode = info.st_ino;
  m_size = S_ISREG(info.st_mode) ? static_cast<std::uint64_t>(info.st_size) : 0;
  return true;
}

void Record::Close() {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
}

// The path no longer names the open file: removed, its folder removed, or
// another file put there. Writing on would fill a file nobody can read.
bool Record::Replaced() const {
  struct stat info {};
  if (::stat(m_options.path.c_str(), &info) != 0) return errno == ENOENT || errno == ENOTDIR;
  return info.st_dev != m_device || info.st_ino != m_inode;
}

bool Record::Append(const std::string& line, std::string& problem) {
  std::size_t written = 0;
  while (written < line.size()) {
    const ssize_t done = ::write(m_fd, line.data() + written, line.size() - written);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) {
      if (done == 0) errno = ENOSPC;
      problem = fmt::format("{}: cannot write: {}", m_options.path, reason());
      TakeBack(written);
      return false;
    }
    written += static_cast<std::size_t>(done);
  }
  m_newLineFirst = false;
  return true;
}

// Cuts a partly written line off again, so that the file holds whole lines only.
void Record::TakeBack(std::size_t written) {
  if (written == 0) return;
  const off_t end = ::lseek(m_fd, 0, SEEK_END);
  if (end < 0 || ::ftruncate(m_fd, end - static_cast<off_t>(written)) != 0)
    m_newLineFirst = true;
}

// FILE.(k-1) -> FILE.k down to FILE -> FILE.1; the oldest beyond `kept` goes.
void Record::Rotate(std::vector<std::string>& said) {
  Close();
  std::error_code error;
  const auto numbered = [this](int k) { return m_options.path + "." + std::to_string(k); };
  fs::remove(numbered(m_options.kept), error);
  for (int k = m_options.kept - 1; k >= 1; --k) fs::rename(numbered(k), numbered(k + 1), error);
  if (m_options.kept > 0)
    fs::rename(m_options.path, numbered(1), error);
  else
    fs::remove(m_options.path, error);
  std::string problem;
  if (!Open(problem)) Fail(problem, said);
}

void Record::Fail(const std::string& problem, std::vector<std::string>& said) {
  if (!m_failing) {
    m_failing = true;
    m_lostSince = utc_text(WallClock::now());
    m_problem = problem;
    m_wait = m_options.retry_after;
    said.push_back(fmt::format(
        "record: {}; events are counted and dropped until it can be written again", problem));
  } else {
    m_wait = std::min(2 * m_wait, kLongestWait);
  }
  m_retryAt = Clock::now() + m_wait;
}

// Opens the file anew (it may have gone with its folder) and says what was lost.
bool Record::Recover(std::vector<std::string>& said) {
  Close();
  std::string problem;
  if (!Open(problem)) {
    Fail(problem, said);
    return false;
  }
  Json::Value lost = record_lost_event(m_lost, m_lostSince, m_problem);
  lost["time"] = utc_text(WallClock::now());
  const std::string line = (m_newLineFirst ? "\n" : "") + json_text(lost) + '\n';
  if (!Append(line, problem)) {
    Fail(problem, said);
    return false;
  }
  m_size += line.size();
  said.push_back(fmt::format("record: {} is written again; {} events were lost", m_options.path,
                             m_lost));
  m_failing = false;
  m_lost = 0;
  return true;
}

void Record::WriteLine(const std::string& line, std::vector<std::string>& said) {
  if (m_failing && (Clock::now() < m_retryAt || !Recover(said))) {
    ++m_lost;
    return;
  }
  if (Replaced()) {
    said.push_back(fmt::format("record: {} was removed or replaced; starting it anew",
                               m_options.path));
    Close();
    std::string problem;
    if (!Open(problem)) {
      Fail(problem, said);
      ++m_lost;
      return;
    }
  }
  const std::string text = m_newLineFirst ? '\n' + line : line;
  std::string problem;
  if (!Append(text, problem)) {
    Fail(problem, said);
    ++m_lost;
    return;
  }
  m_size += text.size();
  if (m_options.max_bytes > 0 && m_size >= m_options.max_bytes) Rotate(said);
}

void Record::Tell(const std::vector<std::string>& said) const {
  for (const std::string& line : said) {
    try {
      m_say(line);
    } catch (const std::exception&) {
      // The console is the record's only voice; nothing else to tell.
    }
  }
}

void Record::Write(Json::Value event) {
  if (!Enabled()) return;
  std::vector<std::string> said;
  try {
    event["time"] = utc_text(WallClock::now());
    const std::string line = json_text(event) + '\n';
    std::lock_guard<std::mutex> lock(m_mutex);
    WriteLine(line, said);
  } catch (const std::exception& error) {
    // Only memory running out gets here.
    said.push_back(std::string("record: an event could not be written: ") + error.what());
  }
  Tell(said);
}

}  // namespace qmr4100::gateway
