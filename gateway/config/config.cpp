#include "config/config.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <utility>

#include <fmt/format.h>
#include <json/reader.h>

#include "config/problems.h"
#include "config/setting_checks.h"
#include "config/value_names.h"

namespace qmr4100::gateway {
namespace {

constexpr std::int64_t kMaxAddress = 255;
constexpr std::int64_t kMaxDataId = 4294967295;
constexpr std::int64_t kMaxRecordKeep = 100;
constexpr std::int64_t kMaxOfflineAfter = 1000;
// Far below the depth at which the JSON reader's recursion would endanger the stack.
constexpr int kMaxNesting = 100;
// The JSON reader's own messages are short; a long token quoted in one is cut.
constexpr std::size_t kShownReaderMessage = 200;

const std::set<std::string> kDeviceKeys = {"port", "address",  "data_id", "name",
                                           "baud", "interval", "fields"};
const std::set<std::string> kTopKeys = {
    "devices",     "interval",     "timeout",       "cache_dir", "record", "record_max_mb",
    "record_keep", "record_trace", "offline_after", "fields",    "mqtt",   "snmp",
    "http"};
const std::set<std::string> kLabelKeys = {"label", "unit"};

// Every problem of one file, in the order found; a setting with a problem
// keeps its default so that the checks after it still run.
class Problems {
 public:
  void Refuse(const std::string& key, const Json::Value& value, const std::string& allowed) {
    m_lines.push_back(not_allowed(key, value, allowed));
  }
  void Missing(const std::string& key) { m_lines.push_back(key + " is missing"); }
  void Add(const std::string& line) { m_lines.push_back(line); }
  std::size_t Count() const { return m_lines.size(); }
  void ThrowIfAny() const {
    if (!m_lines.empty()) throw ConfigError(fmt::format("{}", fmt::join(m_lines, "\n")));
  }

 private:
  std::vector<std::string> m_lines;
};

void known_keys(const Json::Value& object, const std::string& where,
                const std::set<std::string>& known, Problems& problems) {
  for (const std::string& name : object.getMemberNames())
    if (known.count(name) == 0) problems.Add(unknown_key(where, name, known));
}

// Each reader leaves `target` as it was when the value is refused.
void read_integer(const Json::Value& value, const std::string& key, std::int64_t low,
                  std::int64_t high, unsigned int& target, Problems& problems) {
  // An integer beyond 64 signed bits (up to 2^64 - 1 parses) has no asInt64.
  if (!value.isIntegral() || !value.isInt64() || value.asInt64() < low || value.asInt64() > high)
    return problems.Refuse(key, value, fmt::format("an integer {}..{}", low, high));
  target = static_cast<unsigned int>(value.asInt64());
}

void read_baud(const Json::Value& value, const std::string& key, unsigned int& target,
               Problems& problems) {
  if (!value.isIntegral() || !value.isInt64() || !is_baud(value.asInt64()))
    return problems.Refuse(key, value, allowed_bauds());
  target = static_cast<unsigned int>(value.asInt64());
}

bool read_number(const Json::Value& value, const std::string& key, const NumberRange& range,
                 double& target, Problems& problems) {
  if (!value.isNumeric() || !fits(range, value.asDouble())) {
    problems.Refuse(key, value, allowed_numbers(range));
    return false;
  }
  target = value.asDouble();
  return true;
}

void read_flag(const Json::Value& value, const std::string& key, bool& target,
               Problems& problems) {
  if (!value.isBool()) return problems.Refuse(key, value, "true or false");
  target = value.asBool();
}

void read_text(const Json::Value& value, const std::string& key, const char* what,
               std::string& target, Problems& problems) {
  if (!value.isString() || value.asString().empty() || !is_clean_text(value.asString()))
    return problems.Refuse(key, value, fmt::format("a non-empty {} (UTF-8, no NUL)", what));
  target = value.asString();
}

FieldLabel read_label(const Json::Value& json, const std::string& key, Problems& problems) {
  FieldLabel label;
  if (!json.isObject()) {
    problems.Refuse(key, json, R"(an object with "label" and "unit")");
    return label;
  }
  known_keys(json, key, kLabelKeys, problems);
  if (json.isMember("label"))
    read_text(json["label"], key + ".label", "text", label.label, problems);
  if (json.isMember("unit")) read_text(json["unit"], key + ".unit", "text", label.unit, problems);
  return label;
}

// The names a misspelt one is compared with: a wrong index ("modules[65].value")
// is no misspelling of another index, nor of "modules[*].value".
std::set<std::string> plain_value_names() {
  std::set<std::string> plain;
  for (const std::string& name : value_names())
    if (name.find('[') == std::string::npos) plain.insert(name);
  return plain;
}

FieldLabels read_fields(const Json::Value& json, const std::string& key, Problems& problems) {
  FieldLabels fields;
  if (!json.isObject()) {
    problems.Refuse(key, json, R"(an object of value names, each {"label": ..., "unit": ...})");
    return fields;
  }
  std::map<std::string, std::string> written_as;  // the name each value was written under
  for (const std::string& name : json.getMemberNames()) {
    const auto value = value_key(name);
    if (!value) {
      problems.Add(unknown_name(key, "value name", name, plain_value_names(), value_name_list()));
    } else if (const auto [first, added] = written_as.emplace(*value, name); !added) {
      problems.Add(fmt::format("{}.{}: names the value of {}.{} again", key, name, key,
                               first->second));
    } else {
      fields[*value] = read_label(json[name], key + "." + name, problems);
    }
  }
  return fields;
}

DeviceConfig read_device(const Json::Value& json, const std::string& key, Problems& problems) {
  DeviceConfig device;
  if (!json.isObject()) {
    problems.Refuse(key, json, "an object with port, address and data_id");
    return device;
  }
  known_keys(json, key, kDeviceKeys, problems);
  for (const char* required : {"port", "data_id"})
    if (!json.isMember(required)) problems.Missing(key + "." + required);
  if (json.isMember("port")) read_text(json["port"], key + ".port", "path", device.port, problems);
  if (json.isMember("address"))
    read_integer(json["address"], key + ".address", 0, kMaxAddress, device.address, problems);
  if (json.isMember("data_id"))
    read_integer(json["data_id"], key + ".data_id", 0, kMaxDataId, device.data_id, problems);
  if (json.isMember("name")) read_text(json["name"], key + ".name", "text", device.name, problems);
  if (json.isMember("baud")) read_baud(json["baud"], key + ".baud", device.baud, problems);
  double seconds = 0;
  if (json.isMember("interval") &&
      read_number(json["interval"], key + ".interval", kIntervalRange, seconds, problems))
    device.interval = seconds;
  if (json.isMember("fields"))
    device.fields = read_fields(json["fields"], key + ".fields", problems);
  return device;
}

// Two devices must not publish under one data id, nor answer to one address
// on one line; the devices of a line share its baud. A device with problems of
// its own is left out: a default standing in for a misspelt key would clash.
void check_devices_agree(const std::vector<DeviceConfig>& devices, const std::vector<bool>& sound,
                         Problems& problems) {
  std::map<unsigned int, std::size_t> data_ids;
  std::map<std::pair<std::string, unsigned int>, std::size_t> addresses;
  std::map<std::string, std::size_t> lines;  // first device of each line
  for (std::size_t i = 0; i < devices.size(); ++i) {
    const DeviceConfig& device = devices[i];
    if (!sound[i]) continue;
    const std::string key = fmt::format("devices[{}]", i);
    const std::string line = bus_of(device.port);
    if (!data_ids.emplace(device.data_id, i).second)
      problems.Refuse(key + ".data_id", device.data_id,
                      fmt::format("a data id no other device has (devices[{}] has it)",
                                  data_ids[device.data_id]));
    if (!addresses.emplace(std::pair{line, device.address}, i).second)
      problems.Refuse(key + ".address", device.address,
                      fmt::format("an address no other device on {} has (devices[{}] has it)",
                                  device.port, addresses[{line, device.address}]));
    const auto [first, added] = lines.emplace(line, i);
    if (!added && devices[first->second].baud != device.baud)
      problems.Refuse(key + ".baud", device.baud,
                      fmt::format("{}, the baud of devices[{}] on the same line {}",
                                  devices[first->second].baud, first->second, device.port));
  }
}

std::vector<DeviceConfig> read_devices(const Json::Value& json, Problems& problems) {
  std::vector<DeviceConfig> devices;
  if (json.isNull()) {
    problems.Missing("devices");
    return devices;
  }
  if (!json.isArray() || json.empty()) {
    problems.Refuse("devices", json, "a list of at least one device");
    return devices;
  }
  std::vector<bool> sound;
  for (Json::ArrayIndex i = 0; i < json.size(); ++i) {
    const std::size_t before = problems.Count();
    devices.push_back(read_device(json[i], fmt::format("devices[{}]", i), problems));
    sound.push_back(problems.Count() == before);
  }
  check_devices_agree(devices, sound, problems);
  return devices;
}

// An output's own section, read by its own parser, which stops at its first problem.
template <class Settings, class Parser>
void read_section(const Json::Value& json, const char* key, Parser parse, Settings& settings,
                  Problems& problems) {
  if (!json.isMember(key)) return;
  try {
    settings = parse(json[key], settings);
  } catch (const ConfigError& error) {
    problems.Add(error.what());
  }
}

void read_settings(const Json::Value& json, GatewayConfig& config, Problems& problems) {
  if (json.isMember("interval"))
    read_number(json["interval"], "interval", kIntervalRange, config.interval, problems);
  if (json.isMember("timeout"))
    read_number(json["timeout"], "timeout", kTimeoutRange, config.timeout, problems);
  if (json.isMember("cache_dir"))
    read_text(json["cache_dir"], "cache_dir", "path", config.cache_dir, problems);
  if (json.isMember("record")) read_text(json["record"], "record", "path", config.record, problems);
  if (json.isMember("record_max_mb"))
    read_number(json["record_max_mb"], "record_max_mb", kRecordMbRange, config.record_max_mb,
                problems);
  auto kept = static_cast<unsigned int>(config.record_keep);
  if (json.isMember("record_keep"))
    read_integer(json["record_keep"], "record_keep", 0, kMaxRecordKeep, kept, problems);
  config.record_keep = static_cast<int>(kept);
  if (json.isMember("record_trace"))
    read_flag(json["record_trace"], "record_trace", config.record_trace, problems);
  auto cycles = static_cast<unsigned int>(config.offline_after);
  if (json.isMember("offline_after"))
    read_integer(json["offline_after"], "offline_after", 1, kMaxOfflineAfter, cycles, problems);
  config.offline_after = static_cast<int>(cycles);
  if (json.isMember("fields")) config.fields = read_fields(json["fields"], "fields", problems);
  read_section(json, "mqtt", parse_mqtt_settings, config.mqtt, problems);
  read_section(json, "snmp", parse_snmp_config, config.snmp, problems);
  read_section(
      json, "http",
      [](const Json::Value& value, const std::optional<HttpListen>&) {
        return std::optional<HttpListen>(parse_http_config(value, "http"));
      },
      config.http, problems);
}

// The reader's first message, "* Line 1, Column 9\n  Missing ',' or '}' ...\n...",
// on one line.
std::string first_reader_error(const std::string& errors) {
  std::istringstream lines(errors);
  std::string where, what;
  std::getline(lines, where);
  std::getline(lines, what);
  if (where.rfind("* ", 0) == 0) where.erase(0, 2);
  what.erase(0, what.find_first_not_of(' '));
  return readable(where + ": " + what, kShownReaderMessage);
}

// Strict JSON: one object or array, no comments, no trailing commas, no key twice.
Json::Value strict_json(const std::string& text, const std::string& path) {
  Json::CharReaderBuilder builder;
  Json::CharReaderBuilder::strictMode(&builder.settings_);
  builder["stackLimit"] = kMaxNesting;
  const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  Json::Value json;
  std::string errors;
  try {
    if (!reader->parse(text.data(), text.data() + text.size(), &json, &errors))
      throw ConfigError(fmt::format("{}: not valid JSON: {}", path, first_reader_error(errors)));
  } catch (const Json::Exception&) {
    // The reader's only exception: its stack limit.
    throw ConfigError(
        fmt::format("{}: not valid JSON: nesting deeper than {} levels", path, kMaxNesting));
  }
  return json;
}

// Each problem on its own line, each naming the file.
std::string naming_the_file(const std::string& path, const std::string& problems) {
  std::istringstream lines(problems);
  std::vector<std::string> named;
  for (std::string line; std::getline(lines, line);) named.push_back(path + ": " + line);
  return fmt::format("{}", fmt::join(named, "\n"));
}

}  // namespace

std::string bus_of(const std::string& port) {
  std::error_code error;
  const std::filesystem::path resolved = std::filesystem::weakly_canonical(port, error);
  return error ? port : resolved.string();
}

GatewayConfig parse_config(const Json::Value& json, GatewayConfig defaults) {
  Problems problems;
  if (!json.isObject()) {
    problems.Refuse("configuration", json, "an object with devices and the settings");
    problems.ThrowIfAny();
  }
  GatewayConfig config = std::move(defaults);
  known_keys(json, "", kTopKeys, problems);
  config.devices = read_devices(json["devices"], problems);
  read_settings(json, config, problems);
  problems.ThrowIfAny();
  return config;
}

GatewayConfig load_config(const std::string& path, GatewayConfig defaults) {
  std::error_code ignored;  // a path that cannot be examined fails to open below
  // A directory opens as a stream and fails only on reading.
  if (std::filesystem::is_directory(path, ignored))
    throw ConfigError(fmt::format("{}: cannot be read: {}", path, std::strerror(EISDIR)));
  std::ifstream file(path, std::ios::binary);
  if (!file) throw ConfigError(fmt::format("{}: cannot be read: {}", path, std::strerror(errno)));
  const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  return parse_config_text(text, path, std::move(defaults));
}

GatewayConfig parse_config_text(const std::string& text, const std::string& path,
                                GatewayConfig defaults) {
  const Json::Value json = strict_json(text, path);
  try {
    return parse_config(json, std::move(defaults));
  } catch (const ConfigError& error) {
    throw ConfigError(naming_the_file(path, error.what()));
  }
}

}  // namespace qmr4100::gateway
