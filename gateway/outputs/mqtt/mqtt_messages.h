// What the gateway publishes to MQTT: the topics and the payload of each
// message, built from the state model's device states. No broker involved.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "model/device_state.h"

namespace qmr4100::gateway {

struct MqttMessage {
  std::string topic;
  std::string payload;
  bool retained = true;
  int qos = 1;
};

// PREFIX/gateway/status
std::string gateway_status_topic(const std::string& prefix);
// PREFIX/ID/availability, retained "online" or "offline" (also while unknown).
MqttMessage availability_message(const std::string& prefix, const DeviceState& device);
// PREFIX/ID/state: the decoded view, unchanged.
MqttMessage state_message(const std::string& prefix, const DeviceState& device);
// PREFIX/ID/alarms: the active alarm points.
MqttMessage alarms_message(const std::string& prefix, const DeviceState& device);
// PREFIX/ID/event, not retained: one transition.
MqttMessage alarm_event_message(const std::string& prefix, const DeviceState& device,
                                const AlarmChange& change);
MqttMessage health_event_message(const std::string& prefix, const DeviceState& device,
                                 const HealthChange& change);

// The modules a device's discovery describes: those of its last block.
std::size_t discovered_modules(const DeviceState& device);
// Home Assistant discovery of one device with `modules` modules: the device's
// own entities and those of each module.
std::vector<MqttMessage> discovery_messages(const std::string& prefix, const std::string& ha_prefix,
                                            const DeviceState& device, std::size_t modules);
// Empty retained configs that remove the entities of modules `from`..`to` (1-based, inclusive).
std::vector<MqttMessage> discovery_removals(const std::string& ha_prefix, unsigned int data_id,
                                            std::size_t from, std::size_t to);

}  // namespace qmr4100::gateway
