// How the gateway reaches the machine's SNMP agent: the AgentX socket of the
// master agent (snmpd) and how often it checks that the master is still there.
#pragma once

#include <string>

#include <json/value.h>

namespace qmr4100::gateway {

constexpr int kMaxSnmpPingInterval = 3600;

struct SnmpSettings {
  std::string agentx;     // empty: no SNMP; "/var/agentx/master" or "tcp:127.0.0.1:705"
  // Seconds between pings of the master and between reconnection attempts. A master
  // that exits is noticed at once (its socket closes); a ping costs about 0.1 ms of CPU.
  int ping_interval = 30;
};

// The "snmp" object of the configuration file: {"agentx": SOCKET, "ping_interval": SECONDS}.
// Throws ConfigError naming the key.
SnmpSettings parse_snmp_config(const Json::Value& json, SnmpSettings defaults);

}  // namespace qmr4100::gateway
