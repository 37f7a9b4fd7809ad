// The simulator's scenario parser over arbitrary JSON text. It may refuse
// only with ScenarioError; a scenario it accepts must write back to JSON that
// parses to the same scenario, and its expected blocks must agree with it.
#include <cstddef>
#include <cstdint>

#include "fuzz_check.h"
#include "json_text.h"
#include "qmr4100/sim/scenario.h"

namespace {

namespace sim = qmr4100::sim;

// Cycles around the edges of the scripted changes.
constexpr int kCycles[] = {1, 2, 5, 1000000000};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto json = qmr4100::fuzz::parse_json(data, size, true);
  if (!json) return 0;
  sim::Scenario scenario;
  try {
    scenario = sim::parse_scenario(*json);
  } catch (const sim::ScenarioError&) {
    return 0;
  }
  const std::string text = sim::scenario_to_json(scenario);
  FUZZ_CHECK(sim::scenario_to_json(sim::parse_scenario(sim::scenario_json(scenario))) == text);
  for (int cycle : kCycles) {
    FUZZ_CHECK(!sim::compare_block(sim::expected_block(scenario, cycle), scenario, cycle));
  }
  return 0;
}
