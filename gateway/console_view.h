// What the operator's console shows of the state model: one line per device
// and cycle (or today's block summary with --summary full), and every
// transition of health, alarm points and ports on its own timestamped line.
#pragma once

#include "console.h"
#include "state_model.h"

namespace qmr4100::gateway {

enum class SummaryStyle { Line, Full };

class ConsoleView : public StateListener {
 public:
  ConsoleView(Console& console, SummaryStyle style) : m_console(console), m_style(style) {}

  void Published(const DeviceState& device) override;
  void Missed(const DeviceState& device, CycleResult result, int step,
              const std::string& reason) override;
  void HealthChanged(const DeviceState& device, const HealthChange& change) override;
  void AlarmChanged(const DeviceState& device, const AlarmChange& change) override;
  void PortChanged(const std::string& port, PortEvent event, const std::string& error) override;

 private:
  Console& m_console;
  SummaryStyle m_style;
};

// "device 1000 (Site A): cycle 6 published, 8 modules (1 fault, 0 without
// communication), system value 53.5, 1 of 1160 alarm points active"
std::string summary_line(const DeviceState& device);

}  // namespace qmr4100::gateway
