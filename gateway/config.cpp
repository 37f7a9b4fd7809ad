#include "config.h"

#include <cstdint>
#include <fstream>
#include <set>
#include <utility>

#include <json/reader.h>
#include <json/writer.h>

namespace qmr4100::gateway {
namespace {

constexpr std::int64_t kMaxAddress = 255;
constexpr std::int64_t kMaxDataId = 4294967295;
constexpr double kMaxInterval = 86400;
constexpr double kMaxTimeout = 600;

std::string json_text(const Json::Value& value) {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  builder["emitUTF8"] = true;
  return Json::writeString(builder, value);
}

[[noreturn]] void refuse(const std::string& key, const Json::Value& value,
                         const std::string& allowed) {
  throw ConfigError(key + ": " + json_text(value) + " is not allowed (allowed: " + allowed + ")");
}

void check_keys(const Json::Value& object, const std::string& where,
                const std::set<std::string>& known, const std::string& allowed) {
  for (const std::string& name : object.getMemberNames()) {
    if (known.count(name) == 0) refuse(where + name, object[name], allowed);
  }
}

std::int64_t integer_in(const Json::Value& value, const std::string& key, std::int64_t low,
                        std::int64_t high) {
  const std::string allowed = "an integer " + std::to_string(low) + ".." + std::to_string(high);
  // An integer beyond 64 signed bits (up to 2^64 - 1 parses) has no asInt64.
  if (!value.isIntegral() || !value.isInt64() || value.asInt64() < low || value.asInt64() > high)
    refuse(key, value, allowed);
  return value.asInt64();
}

double seconds_in(const Json::Value& value, const std::string& key, bool zero_allowed,
                  double high) {
  const std::string allowed = std::string(zero_allowed ? "0" : "more than 0") + " up to " +
                              std::to_string(static_cast<int>(high)) + " seconds";
  if (!value.isNumeric()) refuse(key, value, allowed);
  const double seconds = value.asDouble();
  if (seconds < 0 || (seconds == 0 && !zero_allowed) || seconds > high) refuse(key, value, allowed);
  return seconds;
}

std::string path_in(const Json::Value& value, const std::string& key) {
  if (!value.isString() || value.asString().empty()) refuse(key, value, "a non-empty path");
  return value.asString();
}

DeviceConfig parse_device(const Json::Value& json, const std::string& key) {
  if (!json.isObject()) refuse(key, json, "an object with port, address and data_id");
  check_keys(json, key + ".", {"port", "address", "data_id"}, "the keys port, address, data_id");
  if (!json.isMember("port")) refuse(key + ".port", Json::Value(), "a non-empty path");
  if (!json.isMember("data_id"))
    refuse(key + ".data_id", Json::Value(), "an integer 0..4294967295");
  DeviceConfig device;
  device.port = path_in(json["port"], key + ".port");
  if (json.isMember("address"))
    device.address =
        static_cast<unsigned int>(integer_in(json["address"], key + ".address", 0, kMaxAddress));
  device.data_id =
      static_cast<unsigned int>(integer_in(json["data_id"], key + ".data_id", 0, kMaxDataId));
  return device;
}

// Two devices must not publish under one data id, nor answer to one address on one line.
void check_unique(const std::vector<DeviceConfig>& devices) {
  std::set<unsigned int> data_ids;
  std::set<std::pair<std::string, unsigned int>> addresses;
  for (std::size_t i = 0; i < devices.size(); ++i) {
    const DeviceConfig& device = devices[i];
    const std::string key = "devices[" + std::to_string(i) + "]";
    if (!data_ids.insert(device.data_id).second)
      refuse(key + ".data_id", device.data_id, "a data id no other device has");
    if (!addresses.insert({device.port, device.address}).second)
      refuse(key + ".address", device.address,
             "an address no other device on " + device.port + " has");
  }
}

std::vector<DeviceConfig> parse_devices(const Json::Value& json) {
  if (!json.isArray() || json.empty()) refuse("devices", json, "a list of at least one device");
  std::vector<DeviceConfig> devices;
  for (Json::ArrayIndex i = 0; i < json.size(); ++i)
    devices.push_back(parse_device(json[i], "devices[" + std::to_string(i) + "]"));
  check_unique(devices);
  return devices;
}

}  // namespace

GatewayConfig parse_config(const Json::Value& json, GatewayConfig defaults) {
  if (!json.isObject())
    refuse("configuration", json, "an object with devices, interval, timeout, cache_dir");
  check_keys(json, "", {"devices", "interval", "timeout", "cache_dir", "http"},
             "the keys devices, interval, timeout, cache_dir, http");
  GatewayConfig config = std::move(defaults);
  config.devices = parse_devices(json["devices"]);
  if (json.isMember("interval"))
    config.interval = seconds_in(json["interval"], "interval", true, kMaxInterval);
  if (json.isMember("timeout"))
    config.timeout = seconds_in(json["timeout"], "timeout", false, kMaxTimeout);
  if (json.isMember("cache_dir")) config.cache_dir = path_in(json["cache_dir"], "cache_dir");
  if (json.isMember("http")) config.http = parse_http_config(json["http"], "http");
  return config;
}

GatewayConfig load_config(const std::string& path, GatewayConfig defaults) {
  std::ifstream file(path);
  if (!file) throw ConfigError(path + ": cannot be read");
  Json::CharReaderBuilder builder;
  Json::Value json;
  std::string errors;
  if (!Json::parseFromStream(builder, file, &json, &errors))
    throw ConfigError(path + ": not valid JSON: " + errors);
  try {
    return parse_config(json, std::move(defaults));
  } catch (const ConfigError& error) {
    throw ConfigError(path + ": " + error.what());
  }
}

}  // namespace qmr4100::gateway
