#include "outputs/snmp/snmp_settings.h"

#include <set>

#include <fmt/format.h>

#include "config/problems.h"
#include "config/setting_checks.h"

namespace qmr4100::gateway {
namespace {

const std::set<std::string> kKeys = {"agentx", "ping_interval"};

}  // namespace

SnmpSettings parse_snmp_config(const Json::Value& json, SnmpSettings defaults) {
  if (!json.isObject()) refuse("snmp", json, "an object with agentx, ping_interval");
  SnmpSettings settings = std::move(defaults);
  for (const std::string& name : json.getMemberNames()) {
    const Json::Value& value = json[name];
    if (name == "agentx") {
      if (!value.isString() || value.asString().empty() || !is_clean_text(value.asString()))
        refuse("snmp." + name, value, "a socket path or tcp:HOST:PORT");
      settings.agentx = value.asString();
    } else if (name == "ping_interval") {
      if (!value.isIntegral() || !value.isInt64() || value.asInt64() < 1 ||
          value.asInt64() > kMaxSnmpPingInterval)
        refuse("snmp." + name, value, "an integer 1.." + std::to_string(kMaxSnmpPingInterval));
      settings.ping_interval = value.asInt();
    } else {
      throw ConfigError(unknown_key("snmp", name, kKeys));
    }
  }
  return settings;
}

}  // namespace qmr4100::gateway
