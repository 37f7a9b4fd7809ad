// Several simulated power systems on one RS-485 line: every system hears
// every frame and answers only its own address, each with its own cycle
// count, scripted changes and faults. Frames for an address no system has
// get no answer.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "qmr4100/sim/faults.h"
#include "qmr4100/sim/scenario.h"
#include "qmr4100/sim/simulator.h"

namespace qmr4100::sim {

class Bus {
 public:
  // System i draws its faults from seed + i, so that systems do not fail in
  // step while a one-system bus repeats the runs of its seed. Throws
  // ScenarioError for no systems or two systems at one address.
  Bus(std::vector<Scenario> systems, const FaultPlan& faults);

  // Bytes received from the line; what the systems write back, in order.
  std::vector<Simulator::Output> receive(std::string_view bytes);

  std::size_t size() const { return systems_.size(); }
  const Simulator& system(std::size_t i) const { return *systems_[i]; }

  void set_delay(std::chrono::milliseconds delay);
  void record_events(bool on);
  // Events of every system since the last call, each system's oldest first.
  std::vector<Simulator::Event> take_events();

  std::uint64_t answers() const;
  FaultCounts fault_counts() const;

 private:
  // A simulator's frame assembler calls back into it, so it must stay put.
  std::vector<std::unique_ptr<Simulator>> systems_;
};

}  // namespace qmr4100::sim
