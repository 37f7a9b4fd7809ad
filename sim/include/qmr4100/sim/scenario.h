// What the simulated power system answers: its address, its rectifier modules
// and the values of every answer, plus changes scripted over polling cycles.
// A cycle is one answered 0x42 command, counted from 1.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <json/value.h>

#include "driver/snapshot_layout.h"

namespace qmr4100::sim {

// Values in tenths go on the line as two big-endian bytes: 53.5 V is 535.
using Tenths = std::uint16_t;

struct Module {
  Tenths value = 0;                      // 0x42 module value
  std::array<std::uint8_t, 3> states{};  // the three 0x43 bytes
  std::uint8_t status = 0;               // 0x44: 0x00 normal, 0x01 fault, 0xFE no communication
  std::uint8_t skip = 0;                 // extra bytes after the module's entry in 0x42, 0x43, 0x44
};

using Entry9C = std::array<std::uint8_t, layout::kEntrySize9C>;

// Overrides one value from cycle `from` to cycle `to`, both included. A ramp
// adds `step` tenths per cycle after `from`.
struct Change {
  enum class Target { SystemValue, ModuleValue, ModuleStatus };
  int from = 1;
  int to = 1;
  Target target = Target::SystemValue;
  int module = 0;      // 1-based module number for the module targets
  int value = 0;       // tenths for the values, the status byte for ModuleStatus
  int step = 0;        // tenths per cycle, values only
};

struct Scenario {
  std::uint8_t address = 1;  // ADR
  Tenths system_value = 0;   // 0x42 info bytes 1-2
  std::vector<Module> modules;
  std::array<std::uint8_t, layout::kBatterySize> battery{};   // the 0x91 answer
  std::array<std::uint8_t, 2> bytes_95{};                     // 0x95 info bytes 0-1
  Tenths value_95 = 0;                                        // 0x95 info bytes 2-3
  std::vector<Entry9C> entries_9c;                            // the 0x9C entries
  std::array<std::uint8_t, layout::kRaw86Size> raw_86{};      // the 0x86 answer
  std::array<Tenths, layout::kValueCountA2> values_a2{};      // 0xA2 info bytes 0-23
  std::array<std::uint8_t, layout::kByteCountA2> bytes_a2{};  // 0xA2 info bytes 24-26
  std::vector<Change> changes;
};

class ScenarioError : public std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A power system with four modules; module 2 reports a fault in cycle 3 only,
// and the system value ramps up over the first five cycles.
Scenario default_scenario();

// The scenario with its scripted changes applied for `cycle` (cycles below 1
// count as cycle 1); the result has no changes left.
Scenario at_cycle(const Scenario& s, int cycle);

// Throws ScenarioError naming the key and the allowed range.
Scenario parse_scenario(const Json::Value& json);
// Reads and parses a JSON file; errors name the file.
Scenario load_scenario(const std::string& path);
// A file of one scenario, or of a list of them: the power systems of one line.
std::vector<Scenario> load_systems(const std::string& path);
Json::Value scenario_json(const Scenario& s);
std::string scenario_to_json(const Scenario& s);

// The block a correct driver publishes after `cycle`; data id and timestamp zero.
qmr4100::Block expected_block(const Scenario& s, int cycle);

// First difference between a published and an expected block, ignoring the
// data id, the timestamp, module records at or beyond the module count and
// 0x9C entries beyond `entries_9c`; nullopt if they agree.
std::optional<std::string> compare_block(const qmr4100::Block& published,
                                         const qmr4100::Block& expected,
                                         std::size_t entries_9c);
// Without the announced 0x9C count: entries behind the last non-zero expected
// entry count as unannounced.
std::optional<std::string> compare_block(const qmr4100::Block& published,
                                         const qmr4100::Block& expected);
// Exact comparison against what the scenario announces in `cycle`.
std::optional<std::string> compare_block(const qmr4100::Block& published, const Scenario& s,
                                         int cycle);

}  // namespace qmr4100::sim
