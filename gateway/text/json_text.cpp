#include "text/json_text.h"

#include <cmath>
#include <cstdlib>
#include <memory>
#include <sstream>

#include <fmt/format.h>
#include <json/writer.h>

#include "text/utf8.h"

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
  // The writer passes the bytes of a string through as they are; only
  // inside strings can a byte above 0x7F stand, so this mends just them.
  std::string text = out.str();
  return is_utf8(text) ? text : valid_utf8(text);
}

std::string json_quoted(std::string_view raw) {
  const std::string text = valid_utf8(raw);
  std::string quoted;
  quoted.reserve(text.size() + 2);
  quoted += '"';
  for (const char c : text) {
    switch (c) {
      case '"': quoted += "\\\""; break;
      case '\\': quoted += "\\\\"; break;
      case '\n': quoted += "\\n"; break;
      case '\r': quoted += "\\r"; break;
      case '\t': quoted += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20)
          quoted += fmt::format("\\u{:04x}", static_cast<unsigned char>(c));
        else
          quoted += c;
    }
  }
  quoted += '"';
  return quoted;
}

Json::Value json_number(float value) {
  if (!std::isfinite(value)) return Json::Value();
  // The shortest decimal that reads back as the same float.
  return std::strtod(fmt::format("{}", value).c_str(), nullptr);
}

}  // namespace qmr4100::gateway
