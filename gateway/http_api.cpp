#include "http_api.h"

#include <algorithm>
#include <chrono>

#include "decoded_view.h"
#include "events.h"
#include "json_text.h"

namespace qmr4100::gateway {
namespace {

Json::Value counters_view(const Counters& count) {
  Json::Value view(Json::objectValue);
  view["published"] = Json::UInt64(count.published);
  view["abandoned"] = Json::UInt64(count.abandoned);
  view["failed"] = Json::UInt64(count.failed);
  Json::Value& replies = view["error_replies"] = Json::Value(Json::objectValue);
  for (const auto& [code, number] : count.error_replies) replies[code] = Json::UInt64(number);
  return view;
}

double unix_seconds(WallClock::time_point time) {
  return std::chrono::duration<double>(time.time_since_epoch()).count();
}

// Appends the columns of `sample` to `columns`, which has `modules` module columns.
void append_sample(Json::Value& columns, const HistorySample& sample, std::size_t modules) {
  columns["time"].append(unix_seconds(sample.received));
  columns["system_value"].append(json_number(sample.system_value));
  columns["value_95"].append(json_number(sample.value_95));
  for (Json::ArrayIndex i = 0; i < modules; ++i)
    columns["modules"][i].append(json_number(sample.modules[i]));
  for (Json::ArrayIndex k = 0; k < sample.values_a2.size(); ++k)
    columns["values_a2"][k].append(json_number(sample.values_a2[k]));
}

Json::Value empty_columns(std::size_t modules) {
  Json::Value columns(Json::objectValue);
  for (const char* key : {"time", "system_value", "value_95"})
    columns[key] = Json::Value(Json::arrayValue);
  columns["modules"] = Json::Value(Json::arrayValue);
  for (Json::ArrayIndex i = 0; i < modules; ++i) columns["modules"][i] = Json::arrayValue;
  columns["values_a2"] = Json::Value(Json::arrayValue);
  for (Json::ArrayIndex k = 0; k < layout::kValueCountA2; ++k)
    columns["values_a2"][k] = Json::arrayValue;
  return columns;
}

}  // namespace

Json::Value device_summary(const DeviceState& device) {
  Json::Value view(Json::objectValue);
  view["data_id"] = device.DataId();
  view["name"] = device.Name();
  view["port"] = device.Port();
  view["address"] = device.Address();
  view["interval"] = device.Interval();
  view["health"] = health_name(device.CurrentHealth());
  view["health_reason"] = device.HealthReason();
  view["last_publication"] =
      device.LastBlock() ? Json::Value(utc_text(device.Received())) : Json::Value();
  view["counters"] = counters_view(device.Count());
  return view;
}

Json::Value device_detail(const DeviceState& device) {
  Json::Value view = device_summary(device);
  view["view"] = decoded_view(device);
  Json::Value& alarms = view["alarms"] = Json::Value(Json::arrayValue);
  for (const ActiveAlarm& alarm : device.Alarms()) {
    Json::Value& entry = alarms.append(point_json(alarm.point));
    entry["since"] = utc_text(alarm.since);
  }
  return view;
}

Json::Value device_history(const DeviceState& device) {
  const History& history = device.Values();
  std::size_t modules = 0;
  for (std::size_t i = 0; i < history.Size(); ++i)
    modules = std::max<std::size_t>(modules, history.At(i).module_count);
  modules = std::min(modules, layout::kMaxModules);
  Json::Value columns = empty_columns(modules);
  for (std::size_t i = 0; i < history.Size(); ++i) append_sample(columns, history.At(i), modules);
  columns["data_id"] = device.DataId();
  columns["capacity"] = Json::UInt64(History::kCapacity);
  return columns;
}

Json::Value latest_sample(const DeviceState& device) {
  const History& history = device.Values();
  if (history.Size() == 0) return Json::Value();
  const HistorySample& sample = history.At(history.Size() - 1);
  const std::size_t modules = std::min<std::size_t>(sample.module_count, layout::kMaxModules);
  Json::Value columns = empty_columns(modules);
  append_sample(columns, sample, modules);
  return columns;
}

Json::Value alarm_event(const DeviceState& device, const AlarmChange& change) {
  Json::Value event = point_json(change.point);
  event["data_id"] = device.DataId();
  event["raised"] = change.raised;
  event["time"] = utc_text(change.time);
  return event;
}

Json::Value health_event(const DeviceState& device, const HealthChange& change) {
  Json::Value event(Json::objectValue);
  event["data_id"] = device.DataId();
  event["from"] = health_name(change.from);
  event["to"] = health_name(change.to);
  event["reason"] = change.reason;
  event["time"] = utc_text(change.time);
  return event;
}

}  // namespace qmr4100::gateway
