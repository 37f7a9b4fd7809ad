#include "record.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "json_text.h"
#include "time_text.h"

namespace qmr4100::gateway {

namespace fs = std::filesystem;

Record::Record(RecordOptions options) : m_options(std::move(options)) {
  if (Enabled()) Open();
}

void Record::Open() {
  m_file.open(m_options.path, std::ios::out | std::ios::app);
  if (!m_file)
    throw std::runtime_error(m_options.path +
                             ": cannot open the record file: " + std::strerror(errno));
  std::error_code error;
  const std::uintmax_t size = fs::file_size(m_options.path, error);
  m_size = error ? 0 : size;
}

// FILE.(k-1) -> FILE.k down to FILE -> FILE.1; the oldest beyond `kept` goes.
void Record::Rotate() {
  m_file.close();
  std::error_code error;
  const auto numbered = [this](int k) { return m_options.path + "." + std::to_string(k); };
  fs::remove(numbered(m_options.kept), error);
  for (int k = m_options.kept - 1; k >= 1; --k) fs::rename(numbered(k), numbered(k + 1), error);
  if (m_options.kept > 0)
    fs::rename(m_options.path, numbered(1), error);
  else
    fs::remove(m_options.path, error);
  Open();
}

void Record::Write(Json::Value event) {
  if (!Enabled()) return;
  event["time"] = utc_text(WallClock::now());
  std::string line = json_text(event);
  line += '\n';
  std::lock_guard<std::mutex> lock(m_mutex);
  m_file << line << std::flush;
  m_size += line.size();
  if (m_options.max_bytes > 0 && m_size >= m_options.max_bytes) Rotate();
}

}  // namespace qmr4100::gateway
