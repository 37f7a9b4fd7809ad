// What the metrics show beyond the state model: the duration of published
// cycles and whether each serial port is open. Kept as the state model
// announces changes, on the io thread.
#pragma once

#include <map>
#include <string>

#include "model/state_model.h"
#include "outputs/http/cycle_histogram.h"

namespace qmr4100::gateway {

class GatewayMetrics : public StateListener {
 public:
  explicit GatewayMetrics(const StateModel& model);

  void Published(const DeviceState& device) override;
  void PortChanged(const std::string& port, PortEvent event, const std::string& error) override;

  const CycleHistogram& CycleDurations() const { return m_durations; }
  // Every configured port: true until it is lost or cannot open.
  const std::map<std::string, bool>& PortsUp() const { return m_portsUp; }

 private:
  CycleHistogram m_durations;
  std::map<std::string, bool> m_portsUp;
};

}  // namespace qmr4100::gateway
