#include "snmp_settings.h"

#include <json/writer.h>

#include "config.h"

namespace qmr4100::gateway {
namespace {

[[noreturn]] void refuse(const std::string& key, const Json::Value& value,
                         const std::string& allowed) {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  throw ConfigError(key + ": " + Json::writeString(builder, value) +
                    " is not allowed (allowed: " + allowed + ")");
}

}  // namespace

SnmpSettings parse_snmp_config(const Json::Value& json, SnmpSettings defaults) {
  if (!json.isObject()) refuse("snmp", json, "an object with agentx, ping_interval");
  SnmpSettings settings = std::move(defaults);
  for (const std::string& name : json.getMemberNames()) {
    const Json::Value& value = json[name];
    if (name == "agentx") {
      if (!value.isString() || value.asString().empty())
        refuse("snmp." + name, value, "a socket path or tcp:HOST:PORT");
      settings.agentx = value.asString();
    } else if (name == "ping_interval") {
      if (!value.isIntegral() || !value.isInt64() || value.asInt64() < 1 ||
          value.asInt64() > kMaxSnmpPingInterval)
        refuse("snmp." + name, value, "an integer 1.." + std::to_string(kMaxSnmpPingInterval));
      settings.ping_interval = value.asInt();
    } else {
      refuse("snmp." + name, value, "the keys agentx, ping_interval");
    }
  }
  return settings;
}

}  // namespace qmr4100::gateway
