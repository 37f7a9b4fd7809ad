#include "outputs/record/events.h"
#include "text/point_json.h"

namespace qmr4100::gateway {
namespace {

Json::Value event(const char* name) {
  Json::Value value(Json::objectValue);
  value["event"] = name;
  return value;
}

Json::Value device_event(const char* name, unsigned int data_id) {
  Json::Value value = event(name);
  value["data_id"] = data_id;
  return value;
}

}  // namespace

Json::Value snapshot_event(unsigned int data_id, int sp, const unsigned char* data,
                           unsigned int length) {
  Json::Value value = device_event("snapshot", data_id);
  value["sp"] = sp;
  value["length"] = length;
  value["bytes"] = to_hex(data, length);
  return value;
}

Json::Value threshold_event(unsigned int data_id, const rule_value& point) {
  Json::Value value = device_event("threshold", data_id);
  value["level"] = point.level;
  value["active"] = point.active;
  put_point(value, point);
  return value;
}

Json::Value batch_event(unsigned int data_id, std::size_t count, std::size_t active) {
  Json::Value value = device_event("batch", data_id);
  value["count"] = static_cast<Json::UInt64>(count);
  value["active"] = static_cast<Json::UInt64>(active);
  return value;
}

Json::Value alarm_event(unsigned int data_id, const AlarmEngine::Transition& transition) {
  Json::Value value = device_event("alarm", data_id);
  value["state"] = transition.raised ? "raised" : "cleared";
  put_point(value, transition.point);
  return value;
}

Json::Value abandoned_event(unsigned int data_id, int step, const std::string& reason) {
  Json::Value value = device_event("abandoned", data_id);
  value["step"] = step;
  value["reason"] = reason;
  return value;
}

Json::Value cycle_failed_event(unsigned int data_id, int step, const std::string& reason) {
  Json::Value value = device_event("cycle_failed", data_id);
  value["step"] = step;
  value["reason"] = reason;
  return value;
}

Json::Value protocol_error_event(unsigned int data_id, int step, std::string_view problem) {
  Json::Value value = device_event("protocol_error", data_id);
  value["step"] = step;
  value["problem"] = std::string(problem);
  return value;
}

Json::Value log_event(const std::string& line) {
  Json::Value value = event("log");
  value["line"] = line;
  return value;
}

Json::Value driver_output_event(const std::string& line) {
  Json::Value value = event("driver_output");
  value["line"] = line;
  return value;
}

Json::Value health_event(unsigned int data_id, const HealthChange& change) {
  Json::Value value = device_event("health", data_id);
  value["health"] = health_name(change.to);
  value["previous"] = health_name(change.from);
  value["reason"] = change.reason;
  return value;
}

Json::Value port_unopened_event(const std::string& port, const std::string& error) {
  Json::Value value = event("port_cannot_open");
  value["port"] = port;
  value["error"] = error;
  return value;
}

Json::Value port_lost_event(const std::string& port, const std::string& error) {
  Json::Value value = event("port_lost");
  value["port"] = port;
  value["error"] = error;
  return value;
}

Json::Value port_restored_event(const std::string& port) {
  Json::Value value = event("port_restored");
  value["port"] = port;
  return value;
}

Json::Value cache_restored_event(unsigned int data_id, const std::string& path) {
  Json::Value value = device_event("cache_restored", data_id);
  value["path"] = path;
  return value;
}

Json::Value cache_problem_event(unsigned int data_id, const std::string& problem) {
  Json::Value value = device_event("cache_problem", data_id);
  value["problem"] = problem;
  return value;
}

Json::Value cache_saved_again_event(unsigned int data_id, const std::string& path) {
  Json::Value value = device_event("cache_saved_again", data_id);
  value["path"] = path;
  return value;
}

Json::Value alarms_restored_event(unsigned int data_id, const std::string& path,
                                  std::size_t count) {
  Json::Value value = device_event("alarms_restored", data_id);
  value["path"] = path;
  value["count"] = static_cast<Json::UInt64>(count);
  return value;
}

Json::Value gateway_started_event(const std::string& version, const std::string& config_path,
                                  const std::vector<DeviceConfig>& devices) {
  Json::Value value = event("gateway_started");
  value["version"] = version;
  value["config"] = config_path.empty() ? Json::Value() : Json::Value(config_path);
  Json::Value& list = value["devices"] = Json::Value(Json::arrayValue);
  for (const DeviceConfig& device : devices) {
    Json::Value entry(Json::objectValue);
    entry["data_id"] = device.data_id;
    entry["port"] = device.port;
    entry["address"] = device.address;
    entry["name"] = device.name.empty() ? Json::Value() : Json::Value(device.name);
    list.append(entry);
  }
  return value;
}

Json::Value gateway_stopped_event(const std::string& reason,
                                  const std::map<unsigned int, int>& published) {
  Json::Value value = event("gateway_stopped");
  value["reason"] = reason;
  Json::Value& list = value["published"] = Json::Value(Json::arrayValue);
  for (const auto& [data_id, cycles] : published) {
    Json::Value entry(Json::objectValue);
    entry["data_id"] = data_id;
    entry["published"] = cycles;
    list.append(entry);
  }
  return value;
}

Json::Value record_lost_event(std::uint64_t count, const std::string& since,
                              const std::string& problem) {
  Json::Value value = event("record_lost");
  value["count"] = static_cast<Json::UInt64>(count);
  value["since"] = since;
  value["problem"] = problem;
  return value;
}

}  // namespace qmr4100::gateway
