// What the operator's console shows of the state model: one line per device
// and cycle (or today's block summary with --summary full), and every
// transition of health, alarm points and ports on its own timestamped line.
#pragma once

#include "model/state_model.h"
#include "outputs/console/console.h"

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

}  // namespace qmr4100::gateway
