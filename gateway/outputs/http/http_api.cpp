#include "outputs/http/http_api.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <iterator>

#include <fmt/format.h>

#include "outputs/common/decoded_view.h"
#include "text/json_text.h"
#include "text/point_json.h"

namespace qmr4100::gateway {
namespace {

Json::Value counters_view(const Counters& count) {
  Json::Value view(Json::objectValue);
  view["published"] = Json::UInt64(count.published);
  view["abandoned"] = Json::UInt64(count.abandoned);
  view["failed"] = Json::UInt64(count.failed);
  view["retries"] = Json::UInt64(count.retries);
  Json::Value& replies = view["error_replies"] = Json::Value(Json::objectValue);
  for (const auto& [code, number] : count.error_replies) replies[code] = Json::UInt64(number);
  return view;
}

double unix_seconds(WallClock::time_point time) {
  return std::chrono::duration<double>(time.time_since_epoch()).count();
}

using Out = std::back_insert_iterator<std::string>;

// Appends the columns of sample `index` to `columns`, which has `modules` module columns.
void append_sample(Json::Value& columns, const History& history, std::size_t index,
                   std::size_t modules) {
  const HistorySample& sample = history.At(index);
  columns["time"].append(unix_seconds(sample.received));
  columns["system_value"].append(json_number(sample.system_value));
  columns["value_95"].append(json_number(sample.value_95));
  for (Json::ArrayIndex i = 0; i < modules; ++i)
    columns["modules"][i].append(json_number(history.Module(index, i)));
  for (Json::ArrayIndex k = 0; k < sample.values_a2.size(); ++k)
    columns["values_a2"][k].append(json_number(sample.values_a2[k]));
}

// [v0,v1,...] of value(i) for every kept sample; a float as the decimal it
// stands for, null when not a number.
template <class Value>
void put_column(Out out, std::size_t size, Value value) {
  *out++ = '[';
  for (std::size_t i = 0; i < size; ++i) {
    if (i > 0) *out++ = ',';
    const float number = value(i);
    if (std::isfinite(number))
      fmt::format_to(out, "{}", number);
    else
      fmt::format_to(out, "null");
  }
  *out++ = ']';
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
  view["health_since"] =
      device.HealthSince() ? Json::Value(utc_text(*device.HealthSince())) : Json::Value();
  view["stale"] = device.Stale();
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

// Written directly as text, keys in the order a document tree would have
// them: a tree of 64 module columns of 720 values costs some 80 ms to build.
std::string device_history_text(const DeviceState& device) {
  const History& history = device.Values();
  const std::size_t size = history.Size();
  const std::size_t modules = history.ModuleColumns();
  std::string text;
  text.reserve(128 + size * (20 + 8 * (modules + layout::kValueCountA2 + 2)));
  const Out out(text);
  fmt::format_to(out, R"({{"capacity":{},"data_id":{},"modules":[)", History::kCapacity,
                 device.DataId());
  for (std::size_t m = 0; m < modules; ++m) {
    if (m > 0) text += ',';
    put_column(out, size, [&](std::size_t i) { return history.Module(i, m); });
  }
  text += R"(],"system_value":)";
  put_column(out, size, [&](std::size_t i) { return history.At(i).system_value; });
  text += R"(,"time":[)";
  for (std::size_t i = 0; i < size; ++i)
    fmt::format_to(out, "{}{:.3f}", i > 0 ? "," : "", unix_seconds(history.At(i).received));
  text += R"(],"value_95":)";
  put_column(out, size, [&](std::size_t i) { return history.At(i).value_95; });
  text += R"(,"values_a2":[)";
  for (std::size_t k = 0; k < layout::kValueCountA2; ++k) {
    if (k > 0) text += ',';
    put_column(out, size, [&](std::size_t i) { return history.At(i).values_a2[k]; });
  }
  text += "]}";
  return text;
}

Json::Value latest_sample(const DeviceState& device) {
  const History& history = device.Values();
  if (history.Size() == 0) return Json::Value();
  const std::size_t newest = history.Size() - 1;
  const std::size_t modules =
      std::min<std::size_t>(history.At(newest).module_count, layout::kMaxModules);
  Json::Value columns = empty_columns(modules);
  append_sample(columns, history, newest, modules);
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
