// The snapshot cache across a restart of the gateway.
#include <gtest/gtest.h>

#include <fstream>
#include <stdexcept>

#include "cache_store.h"
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

}  // namespace
