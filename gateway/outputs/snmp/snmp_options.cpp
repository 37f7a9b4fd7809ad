#include "outputs/snmp/snmp_options.h"

namespace qmr4100::gateway {

void SnmpFlags::ApplyTo(SnmpSettings& settings) const {
  if (!agentx.empty()) settings.agentx = agentx;
  if (ping_interval) settings.ping_interval = *ping_interval;
}

void add_snmp_options(CLI::App& app, SnmpFlags& flags) {
  app.add_option("--snmp-agentx", flags.agentx,
                 "Serve the QMR4100-MIB as an AgentX sub-agent of the SNMP master agent on "
                 "this socket (a path, or tcp:HOST:PORT)");
  app.add_option("--snmp-ping", flags.ping_interval,
                 "Seconds between checks that the AgentX master is there, and between "
                 "reconnection attempts (default 30)")
      ->check(CLI::Range(1, kMaxSnmpPingInterval));
}

}  // namespace qmr4100::gateway
