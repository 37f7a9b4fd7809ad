#include "views.h"

#include <fmt/format.h>

#include "api_values.h"
#include "duration.h"
#include "table.h"

namespace qmr4100::ctl {
namespace {

constexpr Align R = Align::Right;

std::string age_of(const Json::Value& device, double now) {
  const std::optional<double> last = unix_time(device["last_publication"]);
  return last ? age_text(Seconds(now - *last)) : "-";
}

std::string last_publication(const Json::Value& device) {
  const Json::Value& last = device["last_publication"];
  return last.isString() ? last.asString() : "-";
}

std::uint64_t error_replies(const Json::Value& counters) {
  std::uint64_t sum = 0;
  for (const Json::Value& count : counters["error_replies"]) sum += count.asUInt64();
  return sum;
}

// A field another gateway version may not have: shown only when some device has it.
bool any_has(const Json::Value& devices, const char* key) {
  for (const Json::Value& device : devices)
    if (device.isMember(key) || device["counters"].isMember(key)) return true;
  return false;
}

const Json::Value& member(const Json::Value& device, const char* key) {
  return device.isMember(key) ? device[key] : device["counters"][key];
}

// "53.5 V" with the configured unit.
std::string with_unit(const Json::Value& value, const Label& label) {
  const std::string text = number_text(value);
  return label.unit.empty() || value.isNull() ? text : text + " " + label.unit;
}

std::string module_status(const Json::Value& module) {
  if (module["comm_failure"].asBool()) return "no communication";
  if (module["fault"].asBool()) return "fault";
  return module["status"].asUInt() == 0 ? "normal"
                                        : fmt::format("status {}", module["status"].asUInt());
}

std::string values_text(const Json::Value& view) {
  Table table({{"FIELD"}, {"LABEL"}, {"VALUE", R}});
  const auto add = [&](const std::string& key, const Json::Value& value) {
    const Label label = label_of(view, key);
    table.Add({key, label.label, with_unit(value, label)});
  };
  add("system_value", view["system_value"]);
  add("value_95", view["value_95"]);
  for (Json::ArrayIndex k = 0; k < view["values_a2"].size(); ++k)
    add(fmt::format("values_a2[{}]", k), view["values_a2"][k]);
  return table.Text();
}

std::string modules_text(const Json::Value& view) {
  const Label label = label_of(view, "module_value");
  Table table(
      {{"MODULE", R}, {label.label.empty() ? "VALUE" : label.label, R}, {"STATES"}, {"STATUS"}});
  for (const Json::Value& module : view["modules"]) {
    const Json::Value& states = module["states"];
    table.Add({number_text(module["module"]), with_unit(module["value"], label),
               fmt::format("{} {} {}", states[0].asUInt(), states[1].asUInt(), states[2].asUInt()),
               module_status(module)});
  }
  return table.Text();
}

// Each point of `alarms`, with the device's data id first when `device` is given.
void add_alarms(Table& table, const Json::Value& alarms, const Json::Value* device,
                bool severities) {
  for (const Json::Value& alarm : alarms) {
    std::vector<std::string> row;
    if (device) row.push_back(number_text((*device)["data_id"]));
    for (const char* key : {"code", "seq"}) row.push_back(number_text(alarm[key]));
    if (severities) row.push_back(severity_of(alarm));
    for (const char* key : {"name", "desc", "since"}) row.push_back(alarm[key].asString());
    table.Add(std::move(row));
  }
}

bool any_severity(const std::vector<Json::Value>& details) {
  for (const Json::Value& detail : details)
    for (const Json::Value& alarm : detail["alarms"])
      if (alarm.isMember("severity")) return true;
  return false;
}

Table alarm_table(bool with_device, bool severities) {
  std::vector<Table::Column> columns;
  if (with_device) columns.push_back({"DATA ID", R});
  columns.push_back({"CODE"});
  columns.push_back({"SEQ", R});
  if (severities) columns.push_back({"SEVERITY"});
  for (const char* heading : {"NAME", "DESCRIPTION", "SINCE"}) columns.push_back({heading});
  return Table(std::move(columns));
}

Json::Value tail_of(const Json::Value& column, Json::ArrayIndex from) {
  Json::Value kept(Json::arrayValue);
  for (Json::ArrayIndex i = from; i < column.size(); ++i) kept.append(column[i]);
  return kept;
}

}  // namespace

std::string devices_text(const Json::Value& devices, double now) {
  const bool stale = any_has(devices, "stale");
  const bool retries = any_has(devices, "retries");
  std::vector<Table::Column> columns{{"DATA ID", R}, {"NAME"},         {"PORT"},
                                     {"ADDR", R},    {"HEALTH"},       {"LAST PUBLICATION"},
                                     {"AGE", R},     {"PUBLISHED", R}, {"ABANDONED", R},
                                     {"FAILED", R},  {"ERRORS", R}};
  if (stale) columns.push_back({"STALE"});
  if (retries) columns.push_back({"RETRIES", R});
  columns.push_back({"REASON"});
  Table table(std::move(columns));
  for (const Json::Value& device : devices) {
    const Json::Value& counters = device["counters"];
    std::vector<std::string> row{number_text(device["data_id"]),
                                 device["name"].asString(),
                                 device["port"].asString(),
                                 number_text(device["address"]),
                                 device["health"].asString(),
                                 last_publication(device),
                                 age_of(device, now),
                                 number_text(counters["published"]),
                                 number_text(counters["abandoned"]),
                                 number_text(counters["failed"]),
                                 std::to_string(error_replies(counters))};
    if (stale) row.push_back(number_text(member(device, "stale")));
    if (retries) row.push_back(number_text(member(device, "retries")));
    row.push_back(device["health_reason"].asString());
    table.Add(std::move(row));
  }
  return table.Text();
}

std::string device_text(const Json::Value& detail, double now) {
  const Json::Value& view = detail["view"];
  std::string out = fmt::format("{}: {} ({}), port {} address {}\n", device_title(detail),
                                detail["health"].asString(), detail["health_reason"].asString(),
                                detail["port"].asString(), number_text(detail["address"]));
  if (!view.isMember("system_value")) return out + "no publication yet\n";
  out += fmt::format("last publication {} ({} ago), block time {}, {} modules\n\n",
                     detail["last_publication"].asString(), age_of(detail, now),
                     view["time"].asString(), number_text(view["module_count"]));
  out += values_text(view) + "\n" + modules_text(view);
  const Json::Value& alarms = detail["alarms"];
  if (alarms.empty()) return out + "\nno active alarm point\n";
  const bool severities = any_severity({detail});
  Table table = alarm_table(false, severities);
  add_alarms(table, alarms, nullptr, severities);
  return out + "\n" + table.Text();
}

std::string alarms_text(const std::vector<Json::Value>& details) {
  const bool severities = any_severity(details);
  Table table = alarm_table(true, severities);
  for (const Json::Value& detail : details)
    add_alarms(table, detail["alarms"], &detail, severities);
  return table.Empty() ? "no active alarm point\n" : table.Text();
}

std::string history_text(const Json::Value& history, const Json::Value& view) {
  const auto heading = [&view](const std::string& key) {
    const Label label = label_of(view, key);
    return label.label.empty() ? key : label.label;
  };
  std::vector<Table::Column> columns{
      {"TIME"}, {heading("system_value"), R}, {heading("value_95"), R}};
  const Json::Value& modules = history["modules"];
  const Json::Value& a2 = history["values_a2"];
  for (Json::ArrayIndex i = 0; i < modules.size(); ++i)
    columns.push_back({fmt::format("module {}", i + 1), R});
  for (Json::ArrayIndex k = 0; k < a2.size(); ++k)
    columns.push_back({heading(fmt::format("values_a2[{}]", k)), R});
  Table table(std::move(columns));
  const Json::Value& times = history["time"];
  for (Json::ArrayIndex row = 0; row < times.size(); ++row) {
    std::vector<std::string> cells{utc_text(times[row].asDouble()),
                                   number_text(history["system_value"][row]),
                                   number_text(history["value_95"][row])};
    for (const Json::Value& column : modules) cells.push_back(number_text(column[row]));
    for (const Json::Value& column : a2) cells.push_back(number_text(column[row]));
    table.Add(std::move(cells));
  }
  return table.Empty() ? "no publication in this time\n" : table.Text();
}

Json::Value history_since(const Json::Value& history, double since) {
  const Json::Value& times = history["time"];
  Json::ArrayIndex from = 0;
  while (from < times.size() && times[from].asDouble() < since) ++from;
  Json::Value kept = history;
  for (const char* key : {"time", "system_value", "value_95"})
    kept[key] = tail_of(history[key], from);
  for (const char* key : {"modules", "values_a2"})
    for (Json::ArrayIndex i = 0; i < history[key].size(); ++i)
      kept[key][i] = tail_of(history[key][i], from);
  return kept;
}

}  // namespace qmr4100::ctl
