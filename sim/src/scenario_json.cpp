// The scenario file: one JSON object; keys left out are zero or empty.
//   {"address": 1, "system_value": 535,
//    "modules": [{"value": 125, "states": [0, 0, 0], "status": 0, "skip": 0}],
//    "battery": [56 bytes], "bytes_95": [2 bytes], "value_95": 250,
//    "entries_9c": [[4 bytes], ...], "raw_86": [54 bytes],
//    "values_a2": [12 values], "bytes_a2": [3 bytes],
//    "changes": [{"from": 3, "to": 4, "module": 2, "status": 1},
//                {"from": 1, "to": 5, "system_value": 531, "step": 1}]}
// Values are in tenths (535 is 53.5); modules in changes count from 1.
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>

#include <json/reader.h>
#include <json/writer.h>

#include "qmr4100/sim/scenario.h"

namespace qmr4100::sim {
namespace {

constexpr long kByteMax = 0xFF;
constexpr long kTenthsMax = 0xFFFF;
constexpr long kCycleMax = 1000000000;

std::string compact(const Json::Value& value) {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  return Json::writeString(builder, value);
}

[[noreturn]] void fail(const std::string& key, const std::string& problem) {
  throw ScenarioError(key + ": " + problem);
}

std::string range(long lo, long hi) { return std::to_string(lo) + ".." + std::to_string(hi); }

long read_int(const Json::Value& value, const std::string& key, long lo, long hi) {
  if (value.isNull()) fail(key, "missing, expected an integer in range " + range(lo, hi));
  if (!value.isIntegral()) {
    fail(key, compact(value) + " is not an integer in range " + range(lo, hi));
  }
  // An integer beyond 64 signed bits (up to 2^64 - 1 parses) has no asInt64.
  if (!value.isInt64() || value.asInt64() < lo || value.asInt64() > hi) {
    fail(key, compact(value) + " is out of range " + range(lo, hi));
  }
  return static_cast<long>(value.asInt64());
}

template <typename Keys>
void require_object(const Json::Value& value, const std::string& key, const Keys& known) {
  if (!value.isObject()) fail(key, "expected a JSON object, got " + compact(value));
  for (const std::string& name : value.getMemberNames()) {
    bool found = false;
    for (const char* k : known) found = found || name == k;
    if (!found) fail(key, "unknown key \"" + name + "\"");
  }
}

void require_array(const Json::Value& value, const std::string& key, std::size_t max_size) {
  if (!value.isArray()) fail(key, "expected an array of at most " + std::to_string(max_size));
  if (value.size() > max_size) {
    fail(key, std::to_string(value.size()) + " items, at most " + std::to_string(max_size));
  }
}

std::string item_key(const std::string& key, Json::ArrayIndex i) {
  return key + "[" + std::to_string(i) + "]";
}

template <std::size_t N, typename T>
void read_values(const Json::Value& value, const std::string& key, long max, std::array<T, N>& out) {
  require_array(value, key, N);
  for (Json::ArrayIndex i = 0; i < value.size(); ++i) {
    out[i] = static_cast<T>(read_int(value[i], item_key(key, i), 0, max));
  }
}

// Reads json[name] into `out` when present.
template <typename Read>
void optional_key(const Json::Value& json, const char* name, const std::string& prefix, Read read) {
  if (json.isMember(name)) read(json[name], prefix + name);
}

Module read_module(const Json::Value& json, const std::string& key) {
  static constexpr const char* kModuleKeys[] = {"value", "states", "status", "skip"};
  require_object(json, key, kModuleKeys);
  Module m;
  const std::string prefix = key + ".";
  optional_key(json, "value", prefix, [&](const Json::Value& v, const std::string& k) {
    m.value = static_cast<Tenths>(read_int(v, k, 0, kTenthsMax));
  });
  optional_key(json, "states", prefix, [&](const Json::Value& v, const std::string& k) {
    read_values(v, k, kByteMax, m.states);
  });
  optional_key(json, "status", prefix, [&](const Json::Value& v, const std::string& k) {
    m.status = static_cast<std::uint8_t>(read_int(v, k, 0, kByteMax));
  });
  optional_key(json, "skip", prefix, [&](const Json::Value& v, const std::string& k) {
    m.skip = static_cast<std::uint8_t>(read_int(v, k, 0, kByteMax));
  });
  return m;
}

// What a change sets: exactly one of these keys.
struct TargetRow {
  const char* key;
  Change::Target target;
  long max;
  bool per_module;
  bool ramps;
};

constexpr TargetRow kTargets[] = {
    {"system_value", Change::Target::SystemValue, kTenthsMax, false, true},
    {"value", Change::Target::ModuleValue, kTenthsMax, true, true},
    {"status", Change::Target::ModuleStatus, kByteMax, true, false},
};

const TargetRow& change_target(const Json::Value& json, const std::string& key) {
  const TargetRow* found = nullptr;
  for (const TargetRow& row : kTargets) {
    if (!json.isMember(row.key)) continue;
    if (found != nullptr) fail(key, std::string("sets both \"") + found->key + "\" and \"" + row.key + "\"");
    found = &row;
  }
  if (found == nullptr) fail(key, "sets none of \"system_value\", \"value\", \"status\"");
  return *found;
}

Change read_change(const Json::Value& json, const std::string& key, std::size_t module_count) {
  static constexpr const char* kChangeKeys[] = {"from",  "to",     "module", "system_value",
                                                "value", "status", "step"};
  require_object(json, key, kChangeKeys);
  const TargetRow& row = change_target(json, key);
  Change c;
  c.target = row.target;
  c.from = static_cast<int>(read_int(json["from"], key + ".from", 1, kCycleMax));
  c.to = static_cast<int>(read_int(json["to"], key + ".to", c.from, kCycleMax));
  c.value = static_cast<int>(read_int(json[row.key], key + "." + row.key, 0, row.max));
  if (row.per_module) {
    if (module_count == 0) fail(key + ".module", "the scenario has no modules");
    c.module = static_cast<int>(read_int(json["module"], key + ".module", 1,
                                         static_cast<long>(module_count)));
  } else if (json.isMember("module")) {
    fail(key + ".module", std::string("not used with \"") + row.key + "\"");
  }
  if (json.isMember("step")) {
    if (!row.ramps) fail(key + ".step", std::string("not used with \"") + row.key + "\"");
    c.step = static_cast<int>(read_int(json["step"], key + ".step", -kTenthsMax, kTenthsMax));
  }
  return c;
}

template <typename T, typename Read>
std::vector<T> read_list(const Json::Value& value, const std::string& key, std::size_t max_size,
                         Read read) {
  require_array(value, key, max_size);
  std::vector<T> items;
  for (Json::ArrayIndex i = 0; i < value.size(); ++i) items.push_back(read(value[i], item_key(key, i)));
  return items;
}

template <typename Container>
Json::Value array_of(const Container& values) {
  Json::Value array(Json::arrayValue);
  for (const auto v : values) array.append(Json::UInt(v));
  return array;
}

Json::Value module_json(const Module& m) {
  Json::Value json(Json::objectValue);
  json["value"] = m.value;
  json["states"] = array_of(m.states);
  json["status"] = m.status;
  json["skip"] = m.skip;
  return json;
}

Json::Value change_json(const Change& c) {
  const TargetRow& row = kTargets[static_cast<std::size_t>(c.target)];
  Json::Value json(Json::objectValue);
  json["from"] = c.from;
  json["to"] = c.to;
  if (row.per_module) json["module"] = c.module;
  json[row.key] = c.value;
  if (c.step != 0) json["step"] = c.step;
  return json;
}

// The file's keys, in the order they are written.
constexpr const char* kScenarioKeys[] = {"address",  "system_value", "modules",    "battery",
                                         "bytes_95", "value_95",     "entries_9c", "raw_86",
                                         "values_a2", "bytes_a2",    "changes"};

// Lists of objects or lists put one item on a line; everything else on one line.
std::string render(const Json::Value& value) {
  if (!value.isArray() || value.empty() || !(value[0].isObject() || value[0].isArray())) {
    return compact(value);
  }
  std::string out = "[\n";
  for (Json::ArrayIndex i = 0; i < value.size(); ++i) {
    out += "    " + compact(value[i]) + (i + 1 < value.size() ? ",\n" : "\n");
  }
  return out + "  ]";
}

constexpr bool targets_in_enum_order() {
  for (std::size_t i = 0; i < std::size(kTargets); ++i) {
    if (static_cast<std::size_t>(kTargets[i].target) != i) return false;
  }
  return true;
}
static_assert(targets_in_enum_order(), "change_json indexes the table by the enum");

}  // namespace

Scenario parse_scenario(const Json::Value& json) {
  require_object(json, "scenario", kScenarioKeys);
  Scenario s;
  const std::string top;
  optional_key(json, "address", top, [&](const Json::Value& v, const std::string& k) {
    s.address = static_cast<std::uint8_t>(read_int(v, k, 0, kByteMax));
  });
  optional_key(json, "system_value", top, [&](const Json::Value& v, const std::string& k) {
    s.system_value = static_cast<Tenths>(read_int(v, k, 0, kTenthsMax));
  });
  optional_key(json, "modules", top, [&](const Json::Value& v, const std::string& k) {
    s.modules = read_list<Module>(v, k, layout::kMaxModules, read_module);
  });
  optional_key(json, "battery", top, [&](const Json::Value& v, const std::string& k) {
    read_values(v, k, kByteMax, s.battery);
  });
  optional_key(json, "bytes_95", top, [&](const Json::Value& v, const std::string& k) {
    read_values(v, k, kByteMax, s.bytes_95);
  });
  optional_key(json, "value_95", top, [&](const Json::Value& v, const std::string& k) {
    s.value_95 = static_cast<Tenths>(read_int(v, k, 0, kTenthsMax));
  });
  optional_key(json, "entries_9c", top, [&](const Json::Value& v, const std::string& k) {
    s.entries_9c = read_list<Entry9C>(v, k, layout::kMaxEntries9C,
                                      [](const Json::Value& e, const std::string& ek) {
                                        Entry9C entry{};
                                        read_values(e, ek, kByteMax, entry);
                                        return entry;
                                      });
  });
  optional_key(json, "raw_86", top, [&](const Json::Value& v, const std::string& k) {
    read_values(v, k, kByteMax, s.raw_86);
  });
  optional_key(json, "values_a2", top, [&](const Json::Value& v, const std::string& k) {
    read_values(v, k, kTenthsMax, s.values_a2);
  });
  optional_key(json, "bytes_a2", top, [&](const Json::Value& v, const std::string& k) {
    read_values(v, k, kByteMax, s.bytes_a2);
  });
  optional_key(json, "changes", top, [&](const Json::Value& v, const std::string& k) {
    s.changes = read_list<Change>(v, k, std::numeric_limits<Json::ArrayIndex>::max(),
                                  [&](const Json::Value& c, const std::string& ck) {
                                    return read_change(c, ck, s.modules.size());
                                  });
  });
  return s;
}

namespace {

Json::Value read_json(const std::string& path) {
  std::ifstream file(path);
  if (!file) throw ScenarioError(path + ": cannot open: " + std::strerror(errno));
  Json::CharReaderBuilder builder;
  builder["rejectDupKeys"] = true;
  Json::Value json;
  std::string errors;
  if (!Json::parseFromStream(builder, file, &json, &errors)) {
    throw ScenarioError(path + ": not valid JSON: " + errors);
  }
  return json;
}

// Errors name the file and, in a list, the system's place in it.
Scenario parse_in(const Json::Value& json, const std::string& where) {
  try {
    return parse_scenario(json);
  } catch (const ScenarioError& e) {
    throw ScenarioError(where + ": " + e.what());
  }
}

}  // namespace

Scenario load_scenario(const std::string& path) { return parse_in(read_json(path), path); }

std::vector<Scenario> load_systems(const std::string& path) {
  const Json::Value json = read_json(path);
  if (!json.isArray()) return {parse_in(json, path)};
  if (json.empty()) throw ScenarioError(path + ": an empty list of power systems");
  std::vector<Scenario> systems;
  for (Json::ArrayIndex i = 0; i < json.size(); ++i)
    systems.push_back(parse_in(json[i], path + ": [" + std::to_string(i) + "]"));
  return systems;
}

Json::Value scenario_json(const Scenario& s) {
  Json::Value json(Json::objectValue);
  json["address"] = s.address;
  json["system_value"] = s.system_value;
  json["modules"] = Json::Value(Json::arrayValue);
  for (const Module& m : s.modules) json["modules"].append(module_json(m));
  json["battery"] = array_of(s.battery);
  json["bytes_95"] = array_of(s.bytes_95);
  json["value_95"] = s.value_95;
  json["entries_9c"] = Json::Value(Json::arrayValue);
  for (const Entry9C& e : s.entries_9c) json["entries_9c"].append(array_of(e));
  json["raw_86"] = array_of(s.raw_86);
  json["values_a2"] = array_of(s.values_a2);
  json["bytes_a2"] = array_of(s.bytes_a2);
  json["changes"] = Json::Value(Json::arrayValue);
  for (const Change& c : s.changes) json["changes"].append(change_json(c));
  return json;
}

std::string scenario_to_json(const Scenario& s) {
  const Json::Value json = scenario_json(s);
  std::string out = "{\n";
  for (const char* key : kScenarioKeys) {
    out += std::string("  \"") + key + "\": " + render(json[key]) +
           (key == kScenarioKeys[std::size(kScenarioKeys) - 1] ? "\n" : ",\n");
  }
  return out + "}\n";
}

}  // namespace qmr4100::sim
