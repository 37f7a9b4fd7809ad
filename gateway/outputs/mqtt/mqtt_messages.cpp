#include "outputs/mqtt/mqtt_messages.h"

#include <algorithm>
#include <cmath>
#include <string_view>

#include <fmt/format.h>

#include "outputs/common/decoded_view.h"
#include "text/json_text.h"
#include "text/point_json.h"

namespace qmr4100::gateway {
namespace {

std::string device_topic(const std::string& prefix, unsigned int data_id, const char* leaf) {
  return fmt::format("{}/{}/{}", prefix, data_id, leaf);
}

// One Home Assistant entity; "{n}" in the texts stands for the module number.
struct Entity {
  const char* component;
  const char* object;
  const char* name;
  const char* label_key;  // the configuration's label and unit for it; "" for none
  const char* leaf;       // the topic its state comes from
  const char* value_template;
  const char* device_class;  // "" for none
};

constexpr Entity kDeviceEntities[] = {
    {"sensor", "system_value", "System value", "system_value", "state",
     "{{{{ value_json.system_value }}}}", ""},
    {"sensor", "active_alarms", "Active alarms", "", "alarms", "{{{{ value_json | count }}}}", ""},
};

// Module n is modules[n - 1] of the state.
constexpr Entity kModuleEntities[] = {
    {"sensor", "module_{n}_value", "Module {n} value", "module_value", "state",
     "{{{{ value_json.modules[{i}].value }}}}", ""},
    {"binary_sensor", "module_{n}_fault", "Module {n} fault", "", "state",
     "{{{{ 'ON' if value_json.modules[{i}].fault else 'OFF' }}}}", "problem"},
    {"binary_sensor", "module_{n}_comm_failure", "Module {n} communication failure", "", "state",
     "{{{{ 'ON' if value_json.modules[{i}].comm_failure else 'OFF' }}}}", "problem"},
};

// The entity's text for module `module` (0 for the device's own entities).
std::string for_module(const char* pattern, std::size_t module) {
  return fmt::format(fmt::runtime(pattern), fmt::arg("n", module),
                     fmt::arg("i", module == 0 ? 0 : module - 1));
}

// Home Assistant's own guard behind the Last Will: the state expires a
// little after the gateway would have declared the device offline.
constexpr int kExpiryMarginSeconds = 10;

int expire_after(const DeviceState& device) {
  return static_cast<int>(std::ceil(device.SilenceLimit())) + kExpiryMarginSeconds;
}

std::string node_id(unsigned int data_id) { return fmt::format("qmr4100_{}", data_id); }

std::string config_topic(const std::string& ha_prefix, const Entity& entity,
                         unsigned int data_id, std::size_t module) {
  return fmt::format("{}/{}/{}/{}/config", ha_prefix, entity.component, node_id(data_id),
                     for_module(entity.object, module));
}

Json::Value device_json(const DeviceState& device) {
  Json::Value json(Json::objectValue);
  json["identifiers"].append(node_id(device.DataId()));
  json["name"] = device.Name();
  json["manufacturer"] = "Varnok";
  json["model"] = "QMR4100";
  return json;
}

Json::Value availability_json(const std::string& prefix, unsigned int data_id) {
  Json::Value list(Json::arrayValue);
  list.append(Json::Value(Json::objectValue))["topic"] = gateway_status_topic(prefix);
  list.append(Json::Value(Json::objectValue))["topic"] =
      device_topic(prefix, data_id, "availability");
  return list;
}

MqttMessage entity_config(const std::string& prefix, const std::string& ha_prefix,
                          const DeviceState& device, const Entity& entity, std::size_t module) {
  const std::string object = for_module(entity.object, module);
  Json::Value config(Json::objectValue);
  config["name"] = for_module(entity.name, module);
  if (*entity.label_key) {
    auto found = device.Labels().find(entity.label_key);
    if (found != device.Labels().end()) {
      if (!found->second.label.empty())
        config["name"] = module == 0 ? found->second.label
                                     : fmt::format("Module {} {}", module, found->second.label);
      if (!found->second.unit.empty()) config["unit_of_measurement"] = found->second.unit;
    }
  }
  config["unique_id"] = node_id(device.DataId()) + "_" + object;
  config["object_id"] = config["unique_id"];
  config["state_topic"] = device_topic(prefix, device.DataId(), entity.leaf);
  config["value_template"] = for_module(entity.value_template, module);
  // The state comes with every publication; the alarms only when they change.
  if (std::string_view(entity.leaf) == "state") config["expire_after"] = expire_after(device);
  if (*entity.device_class) config["device_class"] = entity.device_class;
  // Numbers Home Assistant keeps statistics of; binary sensors have none.
  if (std::string_view(entity.component) == "sensor") config["state_class"] = "measurement";
  config["availability"] = availability_json(prefix, device.DataId());
  config["availability_mode"] = "all";
  config["device"] = device_json(device);
  return {config_topic(ha_prefix, entity, device.DataId(), module), json_text(config)};
}

}  // namespace

std::string gateway_status_topic(const std::string& prefix) { return prefix + "/gateway/status"; }

MqttMessage availability_message(const std::string& prefix, const DeviceState& device) {
  return {device_topic(prefix, device.DataId(), "availability"),
          device.CurrentHealth() == Health::Online ? "online" : "offline"};
}

MqttMessage state_message(const std::string& prefix, const DeviceState& device) {
  // Made once per publication when the gateway keeps it; by hand otherwise (tests, benchmarks).
  const std::string& kept = device.ViewText();
  return {device_topic(prefix, device.DataId(), "state"),
          kept.empty() ? decoded_view_text(device) : kept};
}

MqttMessage alarms_message(const std::string& prefix, const DeviceState& device) {
  Json::Value alarms(Json::arrayValue);
  for (const ActiveAlarm& alarm : device.Alarms())
    alarms.append(point_json(alarm.point))["since"] = utc_text(alarm.since);
  return {device_topic(prefix, device.DataId(), "alarms"), json_text(alarms)};
}

MqttMessage alarm_event_message(const std::string& prefix, const DeviceState& device,
                                const AlarmChange& change) {
  Json::Value event = point_json(change.point);
  event["event"] = change.raised ? "raised" : "cleared";
  event["time"] = utc_text(change.time);
  return {device_topic(prefix, device.DataId(), "event"), json_text(event), false};
}

MqttMessage health_event_message(const std::string& prefix, const DeviceState& device,
                                 const HealthChange& change) {
  Json::Value event(Json::objectValue);
  event["event"] = health_name(change.to);
  event["time"] = utc_text(change.time);
  event["reason"] = change.reason;
  return {device_topic(prefix, device.DataId(), "event"), json_text(event), false};
}

std::size_t discovered_modules(const DeviceState& device) {
  const std::optional<Block>& block = device.LastBlock();
  if (!block) return 0;
  return std::min<std::size_t>((*block)[layout::kModuleCount], layout::kMaxModules);
}

std::vector<MqttMessage> discovery_messages(const std::string& prefix, const std::string& ha_prefix,
                                            const DeviceState& device, std::size_t modules) {
  std::vector<MqttMessage> messages;
  for (const Entity& entity : kDeviceEntities)
    messages.push_back(entity_config(prefix, ha_prefix, device, entity, 0));
  for (std::size_t module = 1; module <= modules; ++module)
    for (const Entity& entity : kModuleEntities)
      messages.push_back(entity_config(prefix, ha_prefix, device, entity, module));
  return messages;
}

std::vector<MqttMessage> discovery_removals(const std::string& ha_prefix, unsigned int data_id,
                                            std::size_t from, std::size_t to) {
  std::vector<MqttMessage> messages;
  for (std::size_t module = from; module <= to; ++module)
    for (const Entity& entity : kModuleEntities)
      messages.push_back({config_topic(ha_prefix, entity, data_id, module), ""});
  return messages;
}

}  // namespace qmr4100::gateway
