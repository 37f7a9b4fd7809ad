// The run's record: one JSON object per line for every event the host sees,
// each with its UTC time, flushed line by line so that a stopped run leaves a
// complete file. A restarted run appends; a size limit starts a new file and
// keeps a bounded number of older ones (FILE.1 the newest).
#pragma once

#include <cstdint>
#include <fstream>
#include <mutex>
#include <string>

#include <json/value.h>

namespace qmr4100::gateway {

struct RecordOptions {
  std::string path;               // empty: nothing is written
  std::uint64_t max_bytes = 0;    // 0: one file that grows
  int kept = 5;                   // older files kept beside the current one
};

class Record {
 public:
  Record() = default;
  // Throws std::runtime_error naming the file when it cannot be opened.
  explicit Record(RecordOptions options);

  // Thread-safe: the io thread, the worker and the driver-output reader write.
  // Adds "time" to the event.
  void Write(Json::Value event);
  // Whether events are kept at all, so callers skip building them otherwise.
  bool Enabled() const { return !m_options.path.empty(); }

 private:
  void Open();
  void Rotate();

  RecordOptions m_options;
  std::mutex m_mutex;
  std::ofstream m_file;
  std::uint64_t m_size = 0;
};

}  // namespace qmr4100::gateway
