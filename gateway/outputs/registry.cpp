#include "outputs/registry.h"

#include <fmt/format.h>

#include "outputs/http/http_output.h"
#include "outputs/mqtt/mqtt_output.h"
#include "outputs/mqtt/mqtt_password.h"
#include "outputs/snmp/snmp_start.h"

namespace qmr4100::gateway {

std::vector<std::unique_ptr<Output>> make_outputs(const OutputSettings& settings) {
  std::vector<std::unique_ptr<Output>> outputs;
  if (settings.http) outputs.push_back(std::make_unique<HttpOutput>(*settings.http, settings.http_limits));
  if (settings.mqtt.Enabled()) outputs.push_back(std::make_unique<MqttOutput>(settings.mqtt));
  if (auto snmp = make_snmp_output(settings.snmp)) outputs.push_back(std::move(snmp));
  return outputs;
}

void check_outputs(const OutputSettings& settings, const SayLine& say) {
  if (settings.mqtt.Enabled()) mqtt_password(settings.mqtt, say);
  check_snmp_settings(settings.snmp);
}

std::string describe_outputs(const OutputSettings& settings) {
  std::vector<std::string> outputs;
  if (settings.http) {
    const std::string& address = settings.http->address;
    outputs.push_back(fmt::format(address.find(':') == std::string::npos ? "HTTP on {}:{}"
                                                                          : "HTTP on [{}]:{}",
                                  address, settings.http->port));
  }
  if (settings.mqtt.Enabled()) outputs.push_back("MQTT to " + settings.mqtt.url);
  if (!settings.snmp.agentx.empty()) outputs.push_back("SNMP through " + settings.snmp.agentx);
  if (outputs.empty()) return "no HTTP, MQTT or SNMP";
  return fmt::format("{}", fmt::join(outputs, ", "));
}

}  // namespace qmr4100::gateway
