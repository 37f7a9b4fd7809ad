// The run's record: one JSON object per line for every event the host sees,
// each with its UTC time, written line by line so that a stopped run leaves a
// complete file. A restarted run appends; a size limit starts a new file and
// keeps a bounded number of older ones (FILE.1 the newest).
//
// A record that cannot be written (a full disk, its folder removed) never
// stops the gateway: the line that failed is taken back whole, the failure is
// said once, later events are counted and dropped, and the file is opened
// again after a wait that doubles up to a minute. Once it can be written
// again, a "record_lost" event tells how many events are missing. A file
// removed or replaced under a running gateway is noticed at the next event
// and started anew, its folder made again if need be.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include <json/value.h>

namespace qmr4100::gateway {

struct RecordOptions {
  std::string path;               // empty: nothing is written
  std::uint64_t max_bytes = 0;    // 0: one file that grows
  int kept = 5;                   // older files kept beside the current one
  // The first wait before a record that failed is tried again.
  std::chrono::milliseconds retry_after{1000};
};

class Record {
 public:
  // Where the record says that it failed or works again: the console.
  using Say = std::function<void(const std::string& line)>;

  Record() = default;
  // Creates the file's folder when it is missing. Throws std::runtime_error
  // naming the file when it cannot be opened. Without `say`, standard error.
  explicit Record(RecordOptions options, Say say = {});
  ~Record();
  Record(const Record&) = delete;
  Record& operator=(const Record&) = delete;

  // Thread-safe: the io thread, the worker and the driver-output reader write.
  // Adds "time" to the event. Never throws.
  void Write(Json::Value event);
  // Whether events are kept at all, so callers skip building them otherwise.
  bool Enabled() const { return !m_options.path.empty(); }

 private:
  using Clock = std::chrono::steady_clock;

  bool Open(std::string& problem);
  void Close();
  bool Replaced() const;
  bool Append(const std::string& line, std::string& problem);
  void TakeBack(std::size_t written);
  void Rotate(std::vector<std::string>& said);
  void Fail(const std::string& problem, std::vector<std::string>& said);
  bool Recover(std::vector<std::string>& said);
  void WriteLine(const std::string& line, std::vector<std::string>& said);
  void Tell(const std::vector<std::string>& said) const;

  RecordOptions m_options;
  Say m_say;
  std::mutex m_mutex;
  int m_fd = -1;
  dev_t m_device = 0;  // of the open file, to notice a removed or replaced one
  ino_t m_inode = 0;
  std::uint64_t m_size = 0;
  // A line cut short could not be taken back: the next one starts on a line of its own.
  bool m_newLineFirst = false;
  // Since the last failure: events dropped, when the first went, and why.
  bool m_failing = false;
  std::uint64_t m_lost = 0;
  std::string m_lostSince;
  std::string m_problem;
  std::chrono::milliseconds m_wait{};
  Clock::time_point m_retryAt{};
};

}  // namespace qmr4100::gateway
