// Starting the SNMP sub-agent, declared apart from it so that a build without
// Net-SNMP (the cross builds: Debian's libsnmp-dev has one architecture at a
// time) links the gateway all the same.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "outputs/output.h"
#include "outputs/snmp/snmp_settings.h"

namespace qmr4100::gateway {

// Throws std::runtime_error when a build without Net-SNMP is given a socket.
void check_snmp_settings(const SnmpSettings& settings);

// The sub-agent, serving the model once started; none without an AgentX
// socket. A build without Net-SNMP refuses a socket with std::runtime_error.
std::unique_ptr<Output> make_snmp_output(const SnmpSettings& settings);

}  // namespace qmr4100::gateway
