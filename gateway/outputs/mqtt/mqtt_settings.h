// Where and how the gateway publishes to an MQTT broker: the "mqtt" section of
// the configuration file and the --mqtt flags, which override it key by key.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include <json/value.h>

namespace CLI {
class App;
}

namespace qmr4100::gateway {

struct MqttBroker {
  std::string host;
  int port = 1883;
  bool tls = false;
};

struct MqttSettings {
  std::string url;  // empty: no MQTT
  std::string prefix = "qmr4100";
  std::string client_id;      // empty: "qmr4100-gateway-<hostname>"
  std::string user;           // empty: no authentication
  std::string password_file;  // its first line is the password
  std::string ca_file;        // CA certificates trusted for mqtts://
  bool ha_discovery = false;
  std::string ha_prefix = "homeassistant";
  std::size_t queue_limit = 10000;  // events kept while the broker is away
  // QoS 1 messages handed to the library and not yet acknowledged; beyond
  // it the broker counts as away for events.
  std::size_t unacknowledged_limit = 100;

  bool Enabled() const { return !url.empty(); }
};

// "mqtt://host[:port]" (1883) or "mqtts://host[:port]" (8883), the host a name
// of at most 253 characters or a bracketed IPv6 address; throws ConfigError
// naming `key`, the flag or the file's key the URL came from.
MqttBroker parse_mqtt_url(const std::string& url, const std::string& key = "mqtt.url");
// The "mqtt" object of the configuration file; throws ConfigError naming the key.
// Texts are UTF-8; topic prefixes have no + or # and at most 200 bytes.
MqttSettings parse_mqtt_settings(const Json::Value& json, MqttSettings defaults = {});
// The password file's first line; throws std::runtime_error naming the file only.
std::string read_password(const std::string& path);
std::string default_client_id();

// The flags as given; unset ones leave the configuration's values.
struct MqttFlags {
  std::optional<std::string> url, prefix, client_id, user, password_file, ca_file;
  std::optional<std::string> ha_discovery;  // "" when given without a prefix
};
void add_mqtt_options(CLI::App& app, MqttFlags& flags);
// Checks each flag as the file's key; refuses Home Assistant discovery without a broker.
MqttSettings apply_mqtt_flags(const MqttFlags& flags, MqttSettings settings);

}  // namespace qmr4100::gateway
