// The command-line flags of the SNMP sub-agent, which override the "snmp"
// section of the configuration file.
#pragma once

#include <optional>
#include <string>

#include <CLI/CLI.hpp>

#include "outputs/snmp/snmp_settings.h"

namespace qmr4100::gateway {

struct SnmpFlags {
  std::string agentx;
  std::optional<int> ping_interval;

  // The flags given replace the settings they name.
  void ApplyTo(SnmpSettings& settings) const;
};

// --snmp-agentx SOCKET, --snmp-ping SECONDS
void add_snmp_options(CLI::App& app, SnmpFlags& flags);

}  // namespace qmr4100::gateway
