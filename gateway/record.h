// The run's record: one JSON object per line for every event the host sees,
// flushed line by line so that a stopped run leaves a complete file.
#pragma once

#include <fstream>
#include <memory>
#include <mutex>
#include <string>

#include <json/value.h>
#include <json/writer.h>

namespace qmr4100::gateway {

class Record {
 public:
  // Without a path nothing is written.
  Record() = default;
  // Throws std::runtime_error naming the file when it cannot be created.
  explicit Record(const std::string& path);

  // Thread-safe: the io thread and the worker both write.
  void Write(const Json::Value& event);
  // Whether events are kept at all, so callers skip building them otherwise.
  bool Enabled() const { return m_writer != nullptr; }

 private:
  std::mutex m_mutex;
  std::ofstream m_file;
  std::unique_ptr<Json::StreamWriter> m_writer;
};

}  // namespace qmr4100::gateway
