#include "api_values.h"

#include <cmath>
#include <cstdio>
#include <ctime>

#include <fmt/format.h>

namespace qmr4100::ctl {

std::optional<double> unix_time(const Json::Value& utc) {
  if (!utc.isString()) return std::nullopt;
  std::tm parts{};
  unsigned millis = 0;
  char zone = 0;
  int used = 0;
  const std::string text = utc.asString();
  if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d.%3u%c%n", &parts.tm_year, &parts.tm_mon,
                  &parts.tm_mday, &parts.tm_hour, &parts.tm_min, &parts.tm_sec, &millis, &zone,
                  &used) != 8 ||
      zone != 'Z' || static_cast<std::size_t>(used) != text.size())
    return std::nullopt;
  parts.tm_year -= 1900;
  parts.tm_mon -= 1;
  return static_cast<double>(timegm(&parts)) + millis / 1000.0;
}

std::string utc_text(double unix_seconds) {
  const double whole = std::floor(unix_seconds);
  const std::time_t seconds = static_cast<std::time_t>(whole);
  const int millis = std::min(999, static_cast<int>(std::lround((unix_seconds - whole) * 1000)));
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  return fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}.{:03}Z", utc.tm_year + 1900,
                     utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, millis);
}

std::string number_text(const Json::Value& value) {
  if (value.isNull()) return "-";
  if (value.isUInt64()) return fmt::format("{}", value.asUInt64());
  if (value.isInt64()) return fmt::format("{}", value.asInt64());
  if (value.isNumeric()) return fmt::format("{}", value.asDouble());
  if (value.isBool()) return value.asBool() ? "yes" : "no";
  return value.asString();
}

std::string device_title(const Json::Value& device) {
  const std::string id = fmt::format("device {}", device["data_id"].asUInt());
  const std::string name = device["name"].asString();
  return name.empty() || name == id ? id : fmt::format("{} ({})", id, name);
}

std::string severity_of(const Json::Value& alarm) {
  const Json::Value& severity = alarm["severity"];
  return severity.isString() && !severity.asString().empty() ? severity.asString() : "major";
}

Label label_of(const Json::Value& view, const std::string& key) {
  const Json::Value& entry = view["labels"][key];
  return {entry["label"].asString(), entry["unit"].asString()};
}

}  // namespace qmr4100::ctl
