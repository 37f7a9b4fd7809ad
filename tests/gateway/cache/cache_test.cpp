// The snapshot cache across a restart of the gateway.
#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <stdexcept>

#include "cache/cache_store.h"
#include "cache/cache_writer.h"
#include "host/SMDSPDevice.h"
#include "qmr4100/sim/pty_server.h"
#include "support.h"

namespace gw = qmr4100::gateway;
namespace sim = qmr4100::sim;

namespace {

std::string query(const SMDSPDevice& device) {
  try {
    device.Get_Value(0, "");
  } catch (const std::out_of_range& refusal) {
    return refusal.what();
  }
  return "answered";
}

gw::GatewayOptions cached_options(const gwtest::TempDir& dir, const std::string& port,
                                  const std::string& record) {
  auto options = gwtest::quick_options(port, dir.File(record), 1);
  options.config.cache_dir = dir.File("cache");
  return options;
}

TEST(GatewayCache, RestartHandsTheDriverItsLastPublishedBlock) {
  gwtest::TempDir dir;
  sim::PtyServer server(sim::default_scenario(), {}, {});
  {
    gw::Gateway first(cached_options(dir, server.path(), "first.jsonl"));
    ASSERT_EQ(first.Run(), 0);
  }
  const auto snapshot =
      gwtest::events_named(gwtest::read_record(dir.File("first.jsonl")), "snapshot");
  ASSERT_EQ(snapshot.size(), 1u);
  const std::string cache_file = gw::CacheStore(dir.File("cache")).PathFor(1000);
  const qmr4100::Block published = gwtest::block_of(snapshot[0]);
  EXPECT_EQ(gw::CacheStore::Read(cache_file, 1000).block, published);

  gw::Gateway restarted(cached_options(dir, server.path(), "second.jsonl"));
  EXPECT_EQ(query(*restarted.Devices().front()), "不支持变量");
  const auto restored =
      gwtest::events_named(gwtest::read_record(dir.File("second.jsonl")), "cache_restored");
  ASSERT_EQ(restored.size(), 1u);
  EXPECT_EQ(restored[0]["path"], cache_file);
}

TEST(GatewayCache, WithoutACachedBlockTheDataIsNotReady) {
  gwtest::TempDir dir;
  gw::Gateway gateway(cached_options(dir, dir.File("tty"), "r.jsonl"));
  EXPECT_EQ(query(*gateway.Devices().front()), "数据未就绪");
  const auto record = gwtest::read_record(dir.File("r.jsonl"));
  ASSERT_EQ(record.size(), 1u);
  EXPECT_EQ(record[0]["event"], "gateway_started");
}

TEST(GatewayCache, DamagedCacheFileIsReportedAndIgnored) {
  gwtest::TempDir dir;
  const std::string cache_file = gw::CacheStore(dir.File("cache")).PathFor(1000);
  std::ofstream(cache_file, std::ios::binary) << std::string(894, '\x01');
  gw::Gateway gateway(cached_options(dir, dir.File("tty"), "r.jsonl"));
  EXPECT_EQ(query(*gateway.Devices().front()), "数据未就绪");
  const auto problems =
      gwtest::events_named(gwtest::read_record(dir.File("r.jsonl")), "cache_problem");
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0]["problem"].asString().find(cache_file), std::string::npos) << problems[0];
}

// Module 2 in fault from the first cycle on, or never.
sim::Scenario module_two(bool faulted) {
  sim::Scenario scenario = sim::default_scenario();
  scenario.changes.clear();
  if (faulted) scenario.modules[1].status = 0x01;
  return scenario;
}

struct AlarmRun {
  std::vector<Json::Value> alarm_events;
  std::vector<gw::ActiveAlarm> active;
};

AlarmRun run_with_cache(const gwtest::TempDir& dir, const sim::Scenario& scenario,
                        const std::string& record) {
  sim::PtyServer server(scenario, {}, {});
  auto options = cached_options(dir, server.path(), record);
  options.cycles = 2;
  gw::Gateway gateway(options);
  EXPECT_EQ(gateway.Run(), 0);
  const auto alarms = [](const gw::DeviceState& device) { return device.Alarms(); };
  return {gwtest::events_named(gwtest::read_record(dir.File(record)), "alarm"),
          gateway.Model().Read(1000, alarms)};
}

// A restart goes on with the points active before it, since the time they
// became active; its first batch raises and clears only what changed.
TEST(GatewayCache, RestartKeepsActiveAlarmsAndTheirSinceTimes) {
  gwtest::TempDir dir;
  const AlarmRun first = run_with_cache(dir, module_two(true), "first.jsonl");
  ASSERT_EQ(first.alarm_events.size(), 1u);
  ASSERT_EQ(first.active.size(), 1u);

  const AlarmRun again = run_with_cache(dir, module_two(true), "second.jsonl");
  EXPECT_TRUE(again.alarm_events.empty()) << again.alarm_events.front();
  ASSERT_EQ(again.active.size(), 1u);
  EXPECT_EQ(again.active[0].point.desc, first.active[0].point.desc);
  EXPECT_EQ(gw::utc_text(again.active[0].since), gw::utc_text(first.active[0].since));
  const auto restored =
      gwtest::events_named(gwtest::read_record(dir.File("second.jsonl")), "alarms_restored");
  ASSERT_EQ(restored.size(), 1u);
  EXPECT_EQ(restored[0]["count"], 1);

  const AlarmRun repaired = run_with_cache(dir, module_two(false), "third.jsonl");
  ASSERT_EQ(repaired.alarm_events.size(), 1u);
  EXPECT_EQ(repaired.alarm_events[0]["state"], "cleared");
  EXPECT_TRUE(repaired.active.empty());
}

TEST(GatewayCache, DamagedAlarmsFileIsReportedOnceAndIgnored) {
  gwtest::TempDir dir;
  const std::string alarms_file = gw::CacheStore(dir.File("cache")).AlarmsPathFor(1000);
  std::ofstream(alarms_file) << R"({"format": "qmr4100-alarms", "version": 1, "data_id": 1000,)";
  const AlarmRun run = run_with_cache(dir, module_two(true), "r.jsonl");
  EXPECT_EQ(run.alarm_events.size(), 1u);
  const auto problems =
      gwtest::events_named(gwtest::read_record(dir.File("r.jsonl")), "cache_problem");
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0]["problem"].asString().find(alarms_file), std::string::npos) << problems[0];
}

// A cache that cannot be written is said once, not at every cycle.
TEST(GatewayCache, FailingSaveIsReportedOncePerEpisode) {
  gwtest::TempDir dir;
  sim::PtyServer server(module_two(false), {}, {});
  auto options = cached_options(dir, server.path(), "r.jsonl");
  options.cycles = 4;
  gw::Gateway gateway(options);
  std::filesystem::remove_all(dir.File("cache"));
  std::ofstream(dir.File("cache")) << "a file where the cache directory was";
  ASSERT_EQ(gateway.Run(), 0);
  const auto problems =
      gwtest::events_named(gwtest::read_record(dir.File("r.jsonl")), "cache_problem");
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0]["problem"].asString().find("cannot create a temporary file"),
            std::string::npos)
      << problems[0];
}

// The io thread hands its bytes over and goes on while the disk is slow; of
// what waits meanwhile only the newest is written.
TEST(CacheWriter, SlowSaveHoldsUpNobodyAndOnlyTheNewestWaits) {
  std::mutex mutex;
  std::condition_variable changed;
  bool saving = false, release = false;
  std::vector<std::string> saved;
  gw::CacheWriter writer(
      [&](unsigned int, gw::CacheWriter::Kind, const std::string& contents, std::string&) {
        std::unique_lock<std::mutex> lock(mutex);
        saving = true;
        changed.notify_all();
        changed.wait(lock, [&] { return release; });
        saved.push_back(contents);
        return true;
      },
      [](unsigned int, gw::CacheWriter::Kind, const std::string&) {});
  writer.Put(1000, gw::CacheWriter::Kind::Snapshot, "first");
  {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [&] { return saving; });
  }
  writer.Put(1000, gw::CacheWriter::Kind::Snapshot, "second");
  writer.Put(1000, gw::CacheWriter::Kind::Snapshot, "third");
  {
    std::lock_guard<std::mutex> lock(mutex);
    release = true;
  }
  changed.notify_all();
  writer.Flush();
  EXPECT_EQ(saved, (std::vector<std::string>{"first", "third"}));
}

TEST(CacheWriter, SavingThatFailsIsReportedWhenItStartsAndWhenItEnds) {
  bool disk_works = false;
  std::vector<std::string> reports;
  gw::CacheWriter writer(
      [&](unsigned int, gw::CacheWriter::Kind, const std::string&, std::string& problem) {
        if (!disk_works) problem = "read-only file system";
        return disk_works;
      },
      [&](unsigned int, gw::CacheWriter::Kind, const std::string& problem) {
        reports.push_back(problem.empty() ? "saved again" : problem);
      });
  for (const bool works : {false, false, false, true, true, false}) {
    disk_works = works;
    writer.Put(1000, gw::CacheWriter::Kind::Snapshot, "block");
    writer.Flush();
  }
  EXPECT_EQ(reports, (std::vector<std::string>{"read-only file system", "saved again",
                                               "read-only file system"}));
}

}  // namespace
