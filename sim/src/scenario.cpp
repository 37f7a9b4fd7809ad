#include "qmr4100/sim/scenario.h"

#include <algorithm>
#include <cstdint>

namespace qmr4100::sim {
namespace {

Tenths clamp_tenths(std::int64_t value) {
  return static_cast<Tenths>(std::clamp<std::int64_t>(value, 0, 0xFFFF));
}

// 64 bits whatever `long` is: a ramp of 0xFFFF tenths a cycle over a billion
// cycles overflows 32.
Tenths ramped(const Change& change, int cycle) {
  const std::int64_t cycles = std::int64_t{cycle} - change.from;
  return clamp_tenths(change.value + std::int64_t{change.step} * cycles);
}

void apply(const Change& change, int cycle, Scenario& s) {
  switch (change.target) {
    case Change::Target::SystemValue:
      s.system_value = ramped(change, cycle);
      break;
    case Change::Target::ModuleValue:
      s.modules.at(change.module - 1).value = ramped(change, cycle);
      break;
    case Change::Target::ModuleStatus:
      s.modules.at(change.module - 1).status = static_cast<std::uint8_t>(change.value);
      break;
  }
}

Module rectifier(Tenths value) {
  Module m;
  m.value = value;
  return m;
}

}  // namespace

Scenario default_scenario() {
  Scenario s;
  s.address = 1;
  s.system_value = 535;  // 53.5 V
  // Module currents of 12.5 A to 13.1 A.
  s.modules = {rectifier(125), rectifier(128), rectifier(131), rectifier(127)};
  for (std::size_t i = 0; i < s.battery.size(); ++i) s.battery[i] = static_cast<std::uint8_t>(i + 1);
  s.bytes_95 = {0x01, 0x00};
  s.value_95 = 250;
  s.entries_9c = {{0x01, 0x00, 0x02, 0x1C}, {0x02, 0x00, 0x02, 0x1A}, {0x03, 0x01, 0x00, 0x00}};
  for (std::size_t i = 0; i < s.raw_86.size(); ++i) s.raw_86[i] = static_cast<std::uint8_t>(0x80 + i);
  // Three phase voltages and currents, frequency, then further readings.
  s.values_a2 = {2201, 2198, 2205, 105, 98, 101, 500, 535, 0, 250, 300, 0};
  s.bytes_a2 = {0x00, 0x01, 0x00};
  s.changes = {
      {1, 5, Change::Target::SystemValue, 0, 531, 1},  // 53.1 V rising to 53.5 V
      {3, 4, Change::Target::ModuleStatus, 2, kModuleFault, 0},
  };
  return s;
}

Scenario at_cycle(const Scenario& s, int cycle) {
  cycle = std::max(cycle, 1);
  Scenario now = s;
  now.changes.clear();
  for (const Change& change : s.changes) {
    if (change.from <= cycle && cycle <= change.to) apply(change, cycle, now);
  }
  return now;
}

}  // namespace qmr4100::sim
