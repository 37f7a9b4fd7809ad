#include "qmr4100/sim/bus.h"

#include <set>
#include <string>

namespace qmr4100::sim {

Bus::Bus(std::vector<Scenario> systems, const FaultPlan& faults) {
  if (systems.empty()) throw ScenarioError("a line needs at least one power system");
  std::set<std::uint8_t> addresses;
  for (std::size_t i = 0; i < systems.size(); ++i) {
    if (!addresses.insert(systems[i].address).second)
      throw ScenarioError("two power systems answer to address " +
                          std::to_string(systems[i].address));
    FaultPlan plan = faults;
    plan.seed += i;
    systems_.push_back(std::make_unique<Simulator>(std::move(systems[i]), std::move(plan)));
  }
}

std::vector<Simulator::Output> Bus::receive(std::string_view bytes) {
  std::vector<Simulator::Output> outputs;
  for (auto& system : systems_) {
    for (auto& output : system->receive(bytes)) outputs.push_back(std::move(output));
  }
  return outputs;
}

void Bus::set_delay(std::chrono::milliseconds delay) {
  for (auto& system : systems_) system->set_delay(delay);
}

void Bus::record_events(bool on) {
  for (auto& system : systems_) system->record_events(on);
}

std::vector<Simulator::Event> Bus::take_events() {
  std::vector<Simulator::Event> events;
  for (auto& system : systems_) {
    for (auto& event : system->take_events()) events.push_back(std::move(event));
  }
  return events;
}

std::uint64_t Bus::answers() const {
  std::uint64_t total = 0;
  for (const auto& system : systems_) total += system->answers();
  return total;
}

FaultCounts Bus::fault_counts() const {
  FaultCounts total{};
  for (const auto& system : systems_) {
    for (std::size_t k = 0; k < total.size(); ++k) total[k] += system->fault_counts()[k];
  }
  return total;
}

}  // namespace qmr4100::sim
