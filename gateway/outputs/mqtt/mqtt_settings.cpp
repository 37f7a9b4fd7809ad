#include "outputs/mqtt/mqtt_settings.h"

#include <algorithm>
#include <fstream>
#include <set>
#include <string_view>

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <fmt/format.h>

#include "config/problems.h"
#include "config/setting_checks.h"

namespace qmr4100::gateway {
namespace {

constexpr int kPlainPort = 1883;
constexpr int kTlsPort = 8883;
constexpr std::size_t kMaxQueue = 10000000;
constexpr std::size_t kMaxMqttText = 65535;  // an MQTT string has a 16-bit length
// Far within the 65535 bytes of a topic, whatever the gateway appends.
constexpr std::size_t kMaxTopicPrefix = 200;
constexpr const char* kUrlForms = "mqtt://host[:port] or mqtts://host[:port]";

enum class TextKind { Text, Url, TopicPrefix };

// The keys that hold text, the flags that override them, and where each goes.
struct TextKey {
  const char* name;
  const char* flag;
  std::string MqttSettings::*field;
  std::optional<std::string> MqttFlags::*given;
  TextKind kind;
};
const TextKey kTextKeys[] = {
    {"url", "--mqtt", &MqttSettings::url, &MqttFlags::url, TextKind::Url},
    {"prefix", "--mqtt-prefix", &MqttSettings::prefix, &MqttFlags::prefix, TextKind::TopicPrefix},
    {"client_id", "--mqtt-client-id", &MqttSettings::client_id, &MqttFlags::client_id,
     TextKind::Text},
    {"user", "--mqtt-user", &MqttSettings::user, &MqttFlags::user, TextKind::Text},
    {"password_file", "--mqtt-password-file", &MqttSettings::password_file,
     &MqttFlags::password_file, TextKind::Text},
    {"ca", "--mqtt-ca", &MqttSettings::ca_file, &MqttFlags::ca_file, TextKind::Text},
};
const std::set<std::string> kKeys = {"url",  "prefix", "client_id",    "user", "password_file",
                                     "ca", "ha_discovery", "queue"};

// Refuses, under `key`, a text the broker or the topics could not carry.
void check_text(const std::string& key, const std::string& text, TextKind kind) {
  if (text.empty() || !is_clean_text(text) || text.size() > kMaxMqttText)
    refuse(key, text, "a non-empty UTF-8 text of at most 65535 bytes");
  if (kind == TextKind::Url) parse_mqtt_url(text, key);
  if (kind == TextKind::TopicPrefix &&
      (text.find_first_of("+#") != std::string::npos || text.size() > kMaxTopicPrefix))
    refuse(key, text, fmt::format("a topic prefix of at most {} bytes without + or #",
                                  kMaxTopicPrefix));
}

void parse_discovery(const Json::Value& value, MqttSettings& settings) {
  if (value.isBool()) {
    settings.ha_discovery = value.asBool();
  } else if (value.isString()) {
    check_text("mqtt.ha_discovery", value.asString(), TextKind::TopicPrefix);
    settings.ha_discovery = true;
    settings.ha_prefix = value.asString();
  } else {
    refuse("mqtt.ha_discovery", value, "true, false or a topic prefix");
  }
}

bool is_ipv6_character(char c) {
  return (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || (c >= '0' && c <= '9') || c == ':' ||
         c == '.';
}

}  // namespace

// Read by hand: a regular expression recurses once per character of the host.
MqttBroker parse_mqtt_url(const std::string& url, const std::string& key) {
  const auto refuse_url = [&](const std::string& allowed) { refuse(key, url, allowed); };
  MqttBroker broker;
  std::string_view rest = url;
  for (const std::string_view scheme : {"mqtt://", "mqtts://"}) {
    if (rest.substr(0, scheme.size()) != scheme) continue;
    broker.tls = scheme == "mqtts://";
    rest.remove_prefix(scheme.size());
    break;
  }
  if (rest.size() == url.size()) refuse_url(kUrlForms);
  if (!rest.empty() && rest.back() == '/') rest.remove_suffix(1);
  const bool bracketed = !rest.empty() && rest.front() == '[';
  const std::size_t host_end = bracketed ? rest.find(']') : std::min(rest.find(':'), rest.size());
  if (host_end == std::string_view::npos) refuse_url(kUrlForms);
  const std::string_view host = rest.substr(bracketed ? 1 : 0, host_end - (bracketed ? 1 : 0));
  rest.remove_prefix(host_end + (bracketed ? 1 : 0));
  if (host.size() > kMaxHostName)
    refuse_url(fmt::format("a host name of at most {} characters", kMaxHostName));
  const bool written_well = bracketed ? !host.empty() && std::all_of(host.begin(), host.end(),
                                                                      is_ipv6_character)
                                      : is_host_name(host);
  if (!written_well) refuse_url(kUrlForms);
  broker.host = std::string(host);
  broker.port = broker.tls ? kTlsPort : kPlainPort;
  if (rest.empty()) return broker;
  const std::string_view port = rest.substr(1);
  if (rest.front() != ':' || port.empty() || port.size() > 5 ||
      port.find_first_not_of("0123456789") != std::string_view::npos)
    refuse_url(kUrlForms);
  broker.port = std::stoi(std::string(port));
  if (broker.port < 1 || broker.port > 65535) refuse_url("a port 1..65535");
  return broker;
}

MqttSettings parse_mqtt_settings(const Json::Value& json, MqttSettings defaults) {
  if (!json.isObject()) refuse("mqtt", json, "an object");
  MqttSettings settings = std::move(defaults);
  for (const std::string& name : json.getMemberNames()) {
    const Json::Value& value = json[name];
    const auto* key = std::find_if(std::begin(kTextKeys), std::end(kTextKeys),
                                   [&](const TextKey& known) { return name == known.name; });
    if (key != std::end(kTextKeys)) {
      if (!value.isString()) refuse("mqtt." + name, value, "a non-empty string");
      check_text("mqtt." + name, value.asString(), key->kind);
      settings.*(key->field) = value.asString();
    } else if (name == "ha_discovery") {
      parse_discovery(value, settings);
    } else if (name == "queue") {
      if (!value.isUInt64() || value.asUInt64() < 1 || value.asUInt64() > kMaxQueue)
        refuse("mqtt." + name, value, "an integer 1..10000000");
      settings.queue_limit = static_cast<std::size_t>(value.asUInt64());
    } else {
      throw ConfigError(unknown_key("mqtt", name, kKeys));
    }
  }
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
  for (const TextKey& key : kTextKeys) {
    if (!(flags.*(key.given))) continue;
    check_text(key.flag, *(flags.*(key.given)), key.kind);
    settings.*(key.field) = *(flags.*(key.given));
  }
  if (flags.ha_discovery) {
    settings.ha_discovery = true;
    if (!flags.ha_discovery->empty()) {
      check_text("--ha-discovery", *flags.ha_discovery, TextKind::TopicPrefix);
      settings.ha_prefix = *flags.ha_discovery;
    }
  }
  if (settings.ha_discovery && !settings.Enabled())
    throw ConfigError(fmt::format(
        "{} needs a broker: give --mqtt URL or \"url\" in the configuration's \"mqtt\"",
        flags.ha_discovery ? "--ha-discovery" : "mqtt.ha_discovery"));
  return settings;
}

}  // namespace qmr4100::gateway
