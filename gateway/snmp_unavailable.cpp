#include "snmp_start.h"

#include <stdexcept>

namespace qmr4100::gateway {

std::unique_ptr<StateListener> start_snmp_agent(const SnmpSettings& settings, Gateway&,
                                                std::function<void(const std::string&)>) {
  if (settings.agentx.empty()) return nullptr;
  throw std::runtime_error("--snmp-agentx " + settings.agentx +
                           ": this gateway was built without Net-SNMP, so it has no SNMP "
                           "sub-agent");
}

}  // namespace qmr4100::gateway
