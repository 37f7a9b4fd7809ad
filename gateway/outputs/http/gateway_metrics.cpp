#include "outputs/http/gateway_metrics.h"

namespace qmr4100::gateway {

GatewayMetrics::GatewayMetrics(const StateModel& model) {
  model.ReadAll([this](const DeviceState& device) { m_portsUp[device.Port()] = true; });
}

void GatewayMetrics::Published(const DeviceState& device) {
  m_durations.Observe(device.CycleTime());
}

void GatewayMetrics::PortChanged(const std::string& port, PortEvent event, const std::string&) {
  m_portsUp[port] = event == PortEvent::Restored;
}

}  // namespace qmr4100::gateway
