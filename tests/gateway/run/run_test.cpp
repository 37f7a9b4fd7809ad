// Whole runs of the gateway against the simulator on a pseudo-terminal.
#include <gtest/gtest.h>

#include <optional>

#include "host/SMDSPDevice.h"
#include "qmr4100/sim/pty_server.h"
#include "support.h"

namespace gw = qmr4100::gateway;
namespace sim = qmr4100::sim;

namespace {

std::size_t alarm_points(const sim::Scenario& scenario) {
  return 2 * scenario.modules.size() + 1144;
}

// Threshold events between one snapshot and the next of the same device; the
// worker's batch lines may fall in between and are not counted.
std::vector<std::size_t> thresholds_per_cycle(const std::vector<Json::Value>& record) {
  std::vector<std::size_t> counts;
  for (const Json::Value& event : record) {
    if (event["event"] == "snapshot") counts.push_back(0);
    if (event["event"] == "threshold" && !counts.empty()) ++counts.back();
  }
  return counts;
}

TEST(GatewayRun, PublishesWhatTheSimulatorExpects) {
  gwtest::TempDir dir;
  const sim::Scenario scenario = sim::default_scenario();
  sim::PtyServer server(scenario, {}, {});
  auto options = gwtest::quick_options(server.path(), dir.File("r.jsonl"), 3);
  options.config.record_trace = true;
  gw::Gateway gateway(options);
  ASSERT_EQ(gateway.Run(), 0);
  EXPECT_EQ(gateway.PublishedCycles(1000), 3);

  const auto record = gwtest::read_record(dir.File("r.jsonl"));
  const auto snapshots = gwtest::events_named(record, "snapshot");
  ASSERT_EQ(snapshots.size(), 3u);
  for (std::size_t i = 0; i < snapshots.size(); ++i) {
    EXPECT_EQ(snapshots[i]["data_id"], 1000);
    EXPECT_EQ(snapshots[i]["sp"], 5229);
    EXPECT_EQ(snapshots[i]["length"], 895);
    const qmr4100::Block block = gwtest::block_of(snapshots[i]);
    EXPECT_EQ(sim::compare_block(block, server.expected_block(static_cast<int>(i) + 1)),
              std::nullopt);
    EXPECT_EQ(qmr4100::get_u32le(block, qmr4100::layout::kDataId), 1000u);
  }
  for (std::size_t count : thresholds_per_cycle(record)) EXPECT_EQ(count, alarm_points(scenario));

  const auto batches = gwtest::events_named(record, "batch");
  ASSERT_EQ(batches.size(), 3u);
  for (const Json::Value& batch : batches)
    EXPECT_EQ(batch["count"].asUInt(), alarm_points(scenario));
}

TEST(GatewayRun, ThresholdEventsCarryTheReportedPoint) {
  gwtest::TempDir dir;
  sim::PtyServer server(sim::default_scenario(), {}, {});
  auto options = gwtest::quick_options(server.path(), dir.File("r.jsonl"), 1);
  options.config.record_trace = true;
  gw::Gateway gateway(options);
  ASSERT_EQ(gateway.Run(), 0);
  const auto thresholds =
      gwtest::events_named(gwtest::read_record(dir.File("r.jsonl")), "threshold");
  ASSERT_FALSE(thresholds.empty());
  const Json::Value& first = thresholds.front();
  EXPECT_EQ(first["level"], 2);
  EXPECT_EQ(first["seq"], 1);
  EXPECT_FALSE(first["active"].asBool());
  for (const char* key : {"id", "code", "name", "desc"})
    EXPECT_FALSE(first[key].asString().empty()) << key;
}

// Without the trace the record keeps each batch's counts, over a thousand
// lines a cycle fewer, and says when the gateway started and stopped.
TEST(GatewayRun, DefaultRecordKeepsTheBatchCountsAndTheRunsStartAndStop) {
  gwtest::TempDir dir;
  const sim::Scenario scenario = sim::default_scenario();
  sim::PtyServer server(scenario, {}, {});
  auto options = gwtest::quick_options(server.path(), dir.File("r.jsonl"), 3);
  options.version = "1.2.3";
  options.config_path = "/etc/qmr4100/gateway.json";
  gw::Gateway gateway(options);
  ASSERT_EQ(gateway.Run(), 0);

  const auto record = gwtest::read_record(dir.File("r.jsonl"));
  EXPECT_TRUE(gwtest::events_named(record, "threshold").empty());
  const auto batches = gwtest::events_named(record, "batch");
  ASSERT_EQ(batches.size(), 3u);
  for (const Json::Value& batch : batches)
    EXPECT_EQ(batch["count"].asUInt(), alarm_points(scenario));
  // Module 2 reports a fault in cycle 3 only.
  EXPECT_EQ(batches[0]["active"], 0);
  EXPECT_EQ(batches[2]["active"], 1);

  ASSERT_FALSE(record.empty());
  const Json::Value& started = record.front();
  EXPECT_EQ(started["event"], "gateway_started");
  EXPECT_EQ(started["version"], "1.2.3");
  EXPECT_EQ(started["config"], "/etc/qmr4100/gateway.json");
  ASSERT_EQ(started["devices"].size(), 1u);
  EXPECT_EQ(started["devices"][0]["data_id"], 1000);
  EXPECT_EQ(started["devices"][0]["port"], server.path());
  EXPECT_EQ(started["devices"][0]["address"], 1);
  const auto stopped = gwtest::events_named(record, "gateway_stopped");
  ASSERT_EQ(stopped.size(), 1u);
  EXPECT_NE(stopped[0]["reason"].asString().find("3 cycles"), std::string::npos) << stopped[0];
  ASSERT_EQ(stopped[0]["published"].size(), 1u);
  EXPECT_EQ(stopped[0]["published"][0]["data_id"], 1000);
  EXPECT_EQ(stopped[0]["published"][0]["published"], 3);
}

TEST(GatewayRun, EchoedCommandsDoNotDisturbTheCycle) {
  gwtest::TempDir dir;
  sim::PtyServer server(sim::default_scenario(), sim::parse_faults("echo:1"), {});
  gw::Gateway gateway(gwtest::quick_options(server.path(), dir.File("r.jsonl"), 2));
  ASSERT_EQ(gateway.Run(), 0);
  const auto record = gwtest::read_record(dir.File("r.jsonl"));
  const auto snapshots = gwtest::events_named(record, "snapshot");
  ASSERT_EQ(snapshots.size(), 2u);
  EXPECT_EQ(sim::compare_block(gwtest::block_of(snapshots[1]), server.expected_block(2)),
            std::nullopt);
  EXPECT_TRUE(gwtest::events_named(record, "protocol_error").empty());
  EXPECT_TRUE(gwtest::events_named(record, "abandoned").empty());
}

TEST(GatewayRun, DriverLogLinesAreRecorded) {
  gwtest::TempDir dir;
  // Extra bytes after a module's entry make the decoders log through InfoLog.
  sim::Scenario scenario = sim::default_scenario();
  scenario.modules[0].skip = 2;
  sim::PtyServer server(scenario, {}, {});
  gw::Gateway gateway(gwtest::quick_options(server.path(), dir.File("r.jsonl"), 1));
  ASSERT_EQ(gateway.Run(), 0);
  const auto record = gwtest::read_record(dir.File("r.jsonl"));
  const auto logs = gwtest::events_named(record, "log");
  ASSERT_FALSE(logs.empty());
  EXPECT_NE(logs[0]["line"].asString().find("1000"), std::string::npos) << logs[0];
  const auto snapshots = gwtest::events_named(record, "snapshot");
  ASSERT_EQ(snapshots.size(), 1u);
  EXPECT_EQ(sim::compare_block(gwtest::block_of(snapshots[0]), server.expected_block(1)),
            std::nullopt);
}

TEST(GatewayRun, ScriptedModuleFaultRaisesAndClearsItsAlarm) {
  gwtest::TempDir dir;
  sim::PtyServer server(sim::default_scenario(), {}, {});
  gw::Gateway gateway(gwtest::quick_options(server.path(), dir.File("r.jsonl"), 6));
  ASSERT_EQ(gateway.Run(), 0);
  const auto alarms = gwtest::events_named(gwtest::read_record(dir.File("r.jsonl")), "alarm");
  ASSERT_EQ(alarms.size(), 2u);
  EXPECT_EQ(alarms[0]["state"], "raised");
  EXPECT_EQ(alarms[1]["state"], "cleared");
  EXPECT_EQ(alarms[0]["desc"], alarms[1]["desc"]);
  EXPECT_TRUE(gateway.Controller().ActiveAlarms(*gateway.Devices().front()).empty());
}

TEST(GatewayRun, PortThatIsNotThereIsReportedOnceAndRetried) {
  gwtest::TempDir dir;
  auto options = gwtest::quick_options(dir.File("no-such-tty"), dir.File("r.jsonl"), 1);
  options.deadline = 0.8;
  gw::Gateway gateway(options);
  EXPECT_NE(gateway.Run(), 0);  // the cycle asked for never came
  const auto record = gwtest::read_record(dir.File("r.jsonl"));
  const auto unopened = gwtest::events_named(record, "port_cannot_open");
  ASSERT_EQ(unopened.size(), 1u);
  EXPECT_NE(unopened[0]["error"].asString().find("no-such-tty"), std::string::npos);
  EXPECT_TRUE(gwtest::events_named(record, "port_lost").empty());
  EXPECT_TRUE(gwtest::events_named(record, "port_restored").empty());
  const auto health = gwtest::events_named(record, "health");
  ASSERT_EQ(health.size(), 1u);
  EXPECT_EQ(health[0]["health"], "offline");
  EXPECT_NE(health[0]["reason"].asString().find("port cannot open"), std::string::npos);
}

TEST(GatewayRun, BouncingPortIsReopenedAndPollingResumes) {
  gwtest::TempDir dir;
  sim::ServeOptions serve;
  serve.link_path = dir.File("tty-link");
  sim::FaultPlan faults = sim::parse_faults("port-bounce:0.1");
  faults.seed = 3;
  sim::PtyServer server(sim::default_scenario(), faults, serve);
  gw::Gateway gateway(gwtest::quick_options(server.path(), dir.File("r.jsonl"), 4));
  ASSERT_EQ(gateway.Run(), 0);
  ASSERT_GT(server.fault_counts()[static_cast<std::size_t>(sim::Fault::PortBounce)], 0u);
  const auto record = gwtest::read_record(dir.File("r.jsonl"));
  const auto lost = gwtest::events_named(record, "port_lost");
  const auto restored = gwtest::events_named(record, "port_restored");
  EXPECT_FALSE(lost.empty());
  EXPECT_EQ(lost.size(), restored.size());
  EXPECT_EQ(gwtest::events_named(record, "snapshot").size(), 4u);
}

}  // namespace
