// Parses fuzz input as JSON text the way the programs read their files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include <json/reader.h>
#include <json/value.h>

namespace qmr4100::fuzz {

inline std::optional<Json::Value> parse_json(const std::uint8_t* data, std::size_t size,
                                             bool reject_duplicate_keys) {
  Json::CharReaderBuilder builder;
  builder["rejectDupKeys"] = reject_duplicate_keys;
  const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  const char* text = reinterpret_cast<const char*>(data);
  Json::Value json;
  if (!reader->parse(text, text + size, &json, nullptr)) return std::nullopt;
  return json;
}

}  // namespace qmr4100::fuzz
