#include "outputs/record/record_view.h"

#include "outputs/record/events.h"

namespace qmr4100::gateway {

void RecordView::Missed(const DeviceState& device, CycleResult result, int step,
                        const std::string& reason) {
  m_record.Write(result == CycleResult::Abandoned
                     ? abandoned_event(device.DataId(), step, reason)
                     : cycle_failed_event(device.DataId(), step, reason));
}

void RecordView::HealthChanged(const DeviceState& device, const HealthChange& change) {
  m_record.Write(health_event(device.DataId(), change));
}

void RecordView::PortChanged(const std::string& port, PortEvent event, const std::string& error) {
  switch (event) {
    case PortEvent::CannotOpen: m_record.Write(port_unopened_event(port, error)); break;
    case PortEvent::Lost: m_record.Write(port_lost_event(port, error)); break;
    case PortEvent::Restored: m_record.Write(port_restored_event(port)); break;
  }
}

}  // namespace qmr4100::gateway
