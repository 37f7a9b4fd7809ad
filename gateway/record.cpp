#include "record.h"

#include <stdexcept>

namespace qmr4100::gateway {

Record::Record(const std::string& path) : m_file(path, std::ios::out | std::ios::trunc) {
  if (!m_file) throw std::runtime_error(path + ": cannot create the record file");
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  builder["emitUTF8"] = true;
  m_writer.reset(builder.newStreamWriter());
}

void Record::Write(const Json::Value& event) {
  if (!m_writer) return;
  std::lock_guard<std::mutex> lock(m_mutex);
  m_writer->write(event, &m_file);
  m_file << '\n' << std::flush;
}

}  // namespace qmr4100::gateway
