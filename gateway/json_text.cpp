#include "json_text.h"

#include <cmath>
#include <cstdlib>
#include <memory>
#include <sstream>

#include <fmt/format.h>
#include <json/writer.h>

namespace qmr4100::gateway {
namespace {

std::unique_ptr<Json::StreamWriter> make_writer() {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  builder["emitUTF8"] = true;
  builder["precision"] = 15;
  return std::unique_ptr<Json::StreamWriter>(builder.newStreamWriter());
}

}  // namespace

std::string json_text(const Json::Value& value) {
  // A writer per thread: building one parses the builder's settings each time.
  thread_local const std::unique_ptr<Json::StreamWriter> writer = make_writer();
  std::ostringstream out;
  writer->write(value, &out);
  return out.str();
}

Json::Value json_number(float value) {
  if (!std::isfinite(value)) return Json::Value();
  // The shortest decimal that reads back as the same float.
  return std::strtod(fmt::format("{}", value).c_str(), nullptr);
}

}  // namespace qmr4100::gateway
