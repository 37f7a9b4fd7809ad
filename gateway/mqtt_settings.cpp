#include "mqtt_settings.h"

#include <fstream>
#include <regex>

#include <unistd.h>

#include <CLI/CLI.hpp>

#include "config.h"
#include "json_text.h"

namespace qmr4100::gateway {
namespace {

constexpr int kPlainPort = 1883;
constexpr int kTlsPort = 8883;
constexpr std::size_t kMaxQueue = 10000000;

[[noreturn]] void refuse(const std::string& key, const Json::Value& value,
                         const std::string& allowed) {
  throw ConfigError("mqtt." + key + ": " + json_text(value) + " is not allowed (allowed: " +
                    allowed + ")");
}

std::string text_in(const Json::Value& json, const std::string& key) {
  const Json::Value& value = json[key];
  if (!value.isString() || value.asString().empty()) refuse(key, value, "a non-empty string");
  return value.asString();
}

// The keys that hold text, and where each goes.
struct TextKey {
  const char* name;
  std::string MqttSettings::*field;
};
const TextKey kTextKeys[] = {
    {"url", &MqttSettings::url},
    {"prefix", &MqttSettings::prefix},
    {"client_id", &MqttSettings::client_id},
    {"user", &MqttSettings::user},
    {"password_file", &MqttSettings::password_file},
    {"ca", &MqttSettings::ca_file},
};

void parse_discovery(const Json::Value& value, MqttSettings& settings) {
  if (value.isBool()) {
    settings.ha_discovery = value.asBool();
  } else if (value.isString() && !value.asString().empty()) {
    settings.ha_discovery = true;
    settings.ha_prefix = value.asString();
  } else {
    refuse("ha_discovery", value, "true, false or a topic prefix");
  }
}

}  // namespace

MqttBroker parse_mqtt_url(const std::string& url) {
  static const std::regex pattern(
      R"((mqtts?)://([A-Za-z0-9._-]+|\[[0-9A-Fa-f:.]+\])(:(\d{1,5}))?/?)");
  std::smatch match;
  if (!std::regex_match(url, match, pattern))
    throw ConfigError("mqtt url: \"" + url + "\" is not allowed (allowed: mqtt://host[:port] or " +
                      "mqtts://host[:port])");
  MqttBroker broker;
  broker.tls = match[1] == "mqtts";
  broker.host = match[2];
  if (broker.host.front() == '[') broker.host = broker.host.substr(1, broker.host.size() - 2);
  broker.port = broker.tls ? kTlsPort : kPlainPort;
  if (match[4].matched) broker.port = std::stoi(match[4]);
  if (broker.port < 1 || broker.port > 65535)
    throw ConfigError("mqtt url: port " + std::to_string(broker.port) + " is not allowed");
  return broker;
}

MqttSettings parse_mqtt_settings(const Json::Value& json, MqttSettings defaults) {
  if (!json.isObject()) throw ConfigError("mqtt: " + json_text(json) + " is not an object");
  MqttSettings settings = std::move(defaults);
  for (const std::string& name : json.getMemberNames()) {
    const auto* key = std::find_if(std::begin(kTextKeys), std::end(kTextKeys),
                                   [&](const TextKey& known) { return name == known.name; });
    if (key != std::end(kTextKeys)) {
      settings.*(key->field) = text_in(json, name);
    } else if (name == "ha_discovery") {
      parse_discovery(json[name], settings);
    } else if (name == "queue") {
      const Json::Value& value = json[name];
      if (!value.isUInt64() || value.asUInt64() < 1 || value.asUInt64() > kMaxQueue)
        refuse(name, value, "an integer 1..10000000");
      settings.queue_limit = static_cast<std::size_t>(value.asUInt64());
    } else {
      refuse(name, json[name],
             "the keys url, prefix, client_id, user, password_file, ca, ha_discovery, queue");
    }
  }
  if (settings.Enabled()) parse_mqtt_url(settings.url);
  return settings;
}

std::string read_password(const std::string& path) {
  std::ifstream file(path);
  if (!file) throw std::runtime_error("mqtt password file " + path + ": cannot be read");
  std::string password;
  std::getline(file, password);
  if (!password.empty() && password.back() == '\r') password.pop_back();
  if (password.empty()) throw std::runtime_error("mqtt password file " + path + ": empty");
  return password;
}

std::string default_client_id() {
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) != 0) return "qmr4100-gateway";
  return std::string("qmr4100-gateway-") + host;
}

void add_mqtt_options(CLI::App& app, MqttFlags& flags) {
  app.add_option("--mqtt", flags.url,
                 "Publish to the MQTT broker at mqtt://host[:port] or mqtts://host[:port]");
  app.add_option("--mqtt-prefix", flags.prefix, "First level of every topic (default qmr4100)");
  app.add_option("--mqtt-client-id", flags.client_id,
                 "MQTT client id (default qmr4100-gateway-<hostname>)");
  app.add_option("--mqtt-user", flags.user, "User name for the broker");
  app.add_option("--mqtt-password-file", flags.password_file,
                 "File whose first line is the broker password (never give it on the "
                 "command line)");
  app.add_option("--mqtt-ca", flags.ca_file, "CA certificates (PEM) trusted for mqtts://");
  app.add_option("--ha-discovery", flags.ha_discovery,
                 "Publish Home Assistant discovery under PREFIX (default homeassistant)")
      ->expected(0, 1);
}

MqttSettings apply_mqtt_flags(const MqttFlags& flags, MqttSettings settings) {
  if (flags.url) settings.url = *flags.url;
  if (flags.prefix) settings.prefix = *flags.prefix;
  if (flags.client_id) settings.client_id = *flags.client_id;
  if (flags.user) settings.user = *flags.user;
  if (flags.password_file) settings.password_file = *flags.password_file;
  if (flags.ca_file) settings.ca_file = *flags.ca_file;
  if (flags.ha_discovery) {
    settings.ha_discovery = true;
    if (!flags.ha_discovery->empty()) settings.ha_prefix = *flags.ha_discovery;
  }
  if (settings.Enabled()) parse_mqtt_url(settings.url);
  return settings;
}

}  // namespace qmr4100::gateway
