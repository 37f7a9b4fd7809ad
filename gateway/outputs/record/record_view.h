// What the record keeps of the state model: cycles that did not publish,
// health transitions and port events. Publications and alarm points reach
// the record from the host controller, as the host saw them.
#pragma once

#include "model/state_model.h"
#include "outputs/record/record.h"

namespace qmr4100::gateway {

class RecordView : public StateListener {
 public:
  explicit RecordView(Record& record) : m_record(record) {}

  void Missed(const DeviceState& device, CycleResult result, int step,
              const std::string& reason) override;
  void HealthChanged(const DeviceState& device, const HealthChange& change) override;
  void PortChanged(const std::string& port, PortEvent event, const std::string& error) override;

 private:
  Record& m_record;
};

}  // namespace qmr4100::gateway
