// Line faults, each followed by correct publications: the gateway gives up a
// disturbed cycle (or the driver ends it) and the next ones publish what the
// power system holds.
#include <gtest/gtest.h>

#include <optional>

#include "qmr4100/sim/pty_server.h"
#include "support.h"

namespace gw = qmr4100::gateway;
namespace sim = qmr4100::sim;

namespace {

struct FaultCase {
  const char* faults;
  sim::Fault fault;
  const char* reaction;  // the record event the fault must cause; "" when the line copes
  // A short 0x95 answer is skipped by the driver, which then publishes the
  // cycle with the 0x95 fields of an earlier one.
  bool every_publication_correct;
};

void PrintTo(const FaultCase& row, std::ostream* out) { *out << row.faults; }

const FaultCase kFaults[] = {
    {"noise:0.3", sim::Fault::Noise, "", true},
    {"split:0.5", sim::Fault::Split, "", true},
    {"error-code:0.05", sim::Fault::ErrorCode, "cycle_failed", true},
    {"bad-checksum:0.05", sim::Fault::BadChecksum, "protocol_error", true},
    {"drop:0.05", sim::Fault::Drop, "abandoned", true},
    {"delay:0.05", sim::Fault::Delay, "abandoned", true},
    {"count-mismatch:0.3", sim::Fault::CountMismatch, "cycle_failed", true},
    {"modules-above-64:0.3", sim::Fault::ModulesAbove64, "cycle_failed", true},
    {"entries-above-50:0.3", sim::Fault::EntriesAbove50, "cycle_failed", true},
    {"short-answer:0.1", sim::Fault::ShortAnswer, "cycle_failed", false},
};

class GatewayFaults : public testing::TestWithParam<FaultCase> {};

TEST_P(GatewayFaults, DisturbedCyclesAreFollowedByCorrectPublications) {
  const FaultCase& row = GetParam();
  gwtest::TempDir dir;
  // Without scripted changes every correct cycle publishes the same block.
  sim::Scenario scenario = sim::default_scenario();
  scenario.changes.clear();
  sim::FaultPlan faults = sim::parse_faults(row.faults);
  faults.seed = 11;
  sim::ServeOptions serve;
  serve.delay = std::chrono::milliseconds(250);  // past the answer timeout below
  sim::PtyServer server(scenario, faults, serve);
  auto options = gwtest::quick_options(server.path(), dir.File("r.jsonl"), 4);
  options.config.timeout = 0.1;
  gw::Gateway gateway(options);
  ASSERT_EQ(gateway.Run(), 0);

  EXPECT_GT(server.fault_counts()[static_cast<std::size_t>(row.fault)], 0u)
      << "fault never injected";
  const auto record = gwtest::read_record(dir.File("r.jsonl"));
  const qmr4100::Block expected = sim::expected_block(scenario, 1);
  bool reacted = !*row.reaction;
  bool correct_after_reaction = false;
  std::size_t published = 0;
  for (const Json::Value& event : record) {
    if (event["event"] == row.reaction) reacted = true;
    if (event["event"] != "snapshot") continue;
    ++published;
    const bool correct = sim::compare_block(gwtest::block_of(event), expected) == std::nullopt;
    if (row.every_publication_correct) {
      EXPECT_TRUE(correct) << "publication " << published;
    }
    correct_after_reaction = correct_after_reaction || (reacted && correct);
  }
  EXPECT_EQ(published, 4u);
  EXPECT_TRUE(reacted) << "no " << row.reaction << " event";
  EXPECT_TRUE(correct_after_reaction);
}

INSTANTIATE_TEST_SUITE_P(Table, GatewayFaults, testing::ValuesIn(kFaults),
                         [](const testing::TestParamInfo<FaultCase>& info) {
                           std::string name = sim::fault_name(info.param.fault);
                           for (char& c : name)
                             if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

}  // namespace
