#include "outputs/snmp/snmp_start.h"

#include <stdexcept>

namespace qmr4100::gateway {

void check_snmp_settings(const SnmpSettings& settings) {
  if (settings.agentx.empty()) return;
  throw std::runtime_error("--snmp-agentx " + settings.agentx +
                           ": this gateway was built without Net-SNMP, so it has no SNMP "
                           "sub-agent");
}

std::unique_ptr<Output> make_snmp_output(const SnmpSettings& settings) {
  check_snmp_settings(settings);
  return nullptr;
}

}  // namespace qmr4100::gateway
