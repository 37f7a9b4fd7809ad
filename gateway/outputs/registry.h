// The one list of the gateway's outputs beside the console and the record:
// HTTP, MQTT and SNMP (SNMP only in a build with Net-SNMP).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "outputs/http/http_settings.h"
#include "outputs/mqtt/mqtt_settings.h"
#include "outputs/output.h"
#include "outputs/snmp/snmp_settings.h"

namespace qmr4100::gateway {

// What the configuration and the flags ask of the outputs.
struct OutputSettings {
  std::optional<HttpListen> http;  // nullopt: no HTTP server
  HttpLimits http_limits;
  MqttSettings mqtt;
  SnmpSettings snmp;
};

// The outputs the settings turn on, in the order they start.
std::vector<std::unique_ptr<Output>> make_outputs(const OutputSettings& settings);

// What a run would find wrong before it opens anything (the MQTT password,
// an SNMP socket in a build without Net-SNMP), thrown as a run throws it;
// `say` gets the warnings.
void check_outputs(const OutputSettings& settings, const SayLine& say);

// "HTTP on 127.0.0.1:8080, MQTT to mqtt://broker, SNMP through /var/agentx/master",
// or "no HTTP, MQTT or SNMP".
std::string describe_outputs(const OutputSettings& settings);

}  // namespace qmr4100::gateway
