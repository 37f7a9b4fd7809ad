#include "cache/alarm_file.h"

#include <limits>
#include <memory>

#include <fmt/format.h>
#include <json/reader.h>

#include "text/json_text.h"
#include "text/point_json.h"

namespace qmr4100::gateway::alarm_file {
namespace {

constexpr const char* kFormat = "qmr4100-alarms";
constexpr int kVersion = 1;

bool is_text(const Json::Value& point, const char* key) {
  return point.isMember(key) && point[key].isString();
}

bool is_integer(const Json::Value& point, const char* key, Json::Int64 low, Json::Int64 high) {
  return point.isMember(key) && point[key].isIntegral() && point[key].isInt64() &&
         point[key].asInt64() >= low && point[key].asInt64() <= high;
}

std::optional<ActiveAlarm> point_of(const Json::Value& entry, std::string& problem) {
  if (!entry.isObject()) {
    problem = "not an object";
    return std::nullopt;
  }
  for (const char* key : {"id", "code", "name", "desc", "since"})
    if (!is_text(entry, key)) {
      problem = fmt::format("\"{}\" is not a text", key);
      return std::nullopt;
    }
  if (!is_integer(entry, "seq", 0, std::numeric_limits<unsigned short>::max()) ||
      !is_integer(entry, "level", std::numeric_limits<int>::min(),
                  std::numeric_limits<int>::max())) {
    problem = "\"seq\" or \"level\" is not a fitting integer";
    return std::nullopt;
  }
  const std::optional<WallClock::time_point> since = parse_utc_text(entry["since"].asString());
  if (!since) {
    problem = fmt::format("\"since\" {} is not a UTC time", json_text(entry["since"]));
    return std::nullopt;
  }
  const rule_value point(entry["level"].asInt(), entry["id"].asString(), entry["code"].asString(),
                         entry["name"].asString(), entry["desc"].asString(), true,
                         static_cast<unsigned short>(entry["seq"].asUInt()));
  return ActiveAlarm{point, *since};
}

}  // namespace

std::string encode(unsigned int data_id, const std::vector<ActiveAlarm>& alarms) {
  Json::Value file(Json::objectValue);
  file["format"] = kFormat;
  file["version"] = kVersion;
  file["data_id"] = data_id;
  Json::Value& active = file["active"] = Json::Value(Json::arrayValue);
  for (const ActiveAlarm& alarm : alarms) {
    Json::Value entry = point_json(alarm.point);
    entry["level"] = alarm.point.level;
    entry["since"] = utc_text(alarm.since);
    active.append(entry);
  }
  return json_text(file) + "\n";
}

std::optional<std::vector<ActiveAlarm>> decode(const std::string& text, unsigned int data_id,
                                               std::string& problem) {
  Json::Value file;
  std::string errors;
  const std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
  if (!reader->parse(text.data(), text.data() + text.size(), &file, &errors)) {
    problem = "not valid JSON: " + errors;
    return std::nullopt;
  }
  if (!file.isObject() || file["format"] != kFormat) {
    problem = fmt::format("not an alarms file: no \"format\": \"{}\"", kFormat);
    return std::nullopt;
  }
  if (file["version"] != kVersion) {
    problem = fmt::format("alarms file version {}; this gateway reads version {}",
                          json_text(file["version"]), kVersion);
    return std::nullopt;
  }
  if (!file["data_id"].isUInt() || file["data_id"].asUInt() != data_id) {
    problem = fmt::format("holds data id {}, not {}", json_text(file["data_id"]), data_id);
    return std::nullopt;
  }
  if (!file["active"].isArray()) {
    problem = "\"active\" is not a list";
    return std::nullopt;
  }
  std::vector<ActiveAlarm> alarms;
  for (Json::ArrayIndex i = 0; i < file["active"].size(); ++i) {
    std::string why;
    std::optional<ActiveAlarm> alarm = point_of(file["active"][i], why);
    if (!alarm) {
      problem = fmt::format("active[{}]: {}", i, why);
      return std::nullopt;
    }
    alarms.push_back(*alarm);
  }
  return alarms;
}

}  // namespace qmr4100::gateway::alarm_file
