// Several power systems on one RS-485 line: one simulator answering three
// addresses on one pseudo-terminal, and a fourth address nobody answers.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>

#include "qmr4100/sim/pty_server.h"
#include "support.h"

namespace gw = qmr4100::gateway;
namespace sim = qmr4100::sim;

namespace {

sim::Scenario system_at(std::uint8_t address, std::size_t modules) {
  sim::Scenario scenario = sim::default_scenario();
  scenario.address = address;
  scenario.modules.resize(modules, scenario.modules.front());
  scenario.changes.clear();
  return scenario;
}

// The line is named three ways (as opened, through "." and a symlink) and
// still polled as one; the third system is polled once an hour.
TEST(GatewayBus, DevicesOnOneLineArePolledInTurnAndASilentOneStallsNoOne) {
  gwtest::TempDir dir;
  const std::vector<sim::Scenario> systems = {system_at(1, 3), system_at(2, 5), system_at(3, 1)};
  sim::PtyServer line(systems, {}, {});
  const std::filesystem::path pty = line.path();
  std::filesystem::create_symlink(pty, dir.File("link"));
  const std::string dotted = (pty.parent_path() / "." / pty.filename()).string();
  auto options = gwtest::quick_options(line.path(), dir.File("r.jsonl"), 3);
  options.config.devices = {{line.path(), 1, 1001},
                            {dir.File("link"), 2, 1002},
                            {dotted, 3, 1003},
                            {line.path(), 4, 1004}};
  options.config.devices[2].interval = 3600;
  options.config.timeout = 0.1;
  options.deadline = 2.5;
  gw::Gateway gateway(options);
  EXPECT_NE(gateway.Run(), 0);  // address 4 never answers, so its cycles never come
  EXPECT_EQ(gateway.PublishedCycles(1001), 3);
  EXPECT_EQ(gateway.PublishedCycles(1002), 3);
  EXPECT_EQ(gateway.PublishedCycles(1003), 1);
  EXPECT_EQ(gateway.PublishedCycles(1004), 0);

  const auto record = gwtest::read_record(dir.File("r.jsonl"));
  for (const Json::Value& snapshot : gwtest::events_named(record, "snapshot")) {
    const std::size_t system = snapshot["data_id"].asUInt() - 1001;
    EXPECT_EQ(
        sim::compare_block(gwtest::block_of(snapshot), sim::expected_block(systems[system], 1)),
        std::nullopt);
  }
  std::map<unsigned int, std::size_t> batch_counts;
  for (const Json::Value& batch : gwtest::events_named(record, "batch"))
    batch_counts[batch["data_id"].asUInt()] = batch["count"].asUInt();
  EXPECT_EQ(batch_counts[1001], 2 * 3 + 1144u);
  EXPECT_EQ(batch_counts[1002], 2 * 5 + 1144u);
  EXPECT_EQ(batch_counts[1003], 2 * 1 + 1144u);
  const auto abandoned = gwtest::events_named(record, "abandoned");
  ASSERT_FALSE(abandoned.empty());
  for (const Json::Value& event : abandoned) EXPECT_EQ(event["data_id"], 1004);
}

}  // namespace
