// A line lost while the gateway runs: the simulator behind it goes away, so
// its device goes offline at once in every output, stays offline while the
// line is away and comes back online with its next publication. While it is
// offline its last values are not shown as current: the API marks them
// stale and the metrics have no value samples.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <optional>
#include <thread>

#include <json/reader.h>

#include "http_client.h"
#include "outputs/http/http_output.h"
#include "qmr4100/sim/pty_server.h"
#include "support.h"

namespace gw = qmr4100::gateway;
namespace sim = qmr4100::sim;

namespace {

Json::Value device_json(unsigned short port) {
  const gwtest::Fetched reply = gwtest::get(port, "/api/v1/devices/1000");
  Json::Value value;
  std::string errors;
  const std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
  reader->parse(reply.body.data(), reply.body.data() + reply.body.size(), &value, &errors);
  return value;
}

bool eventually(const std::function<bool()>& condition,
                std::chrono::milliseconds limit = std::chrono::seconds(20)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

sim::ServeOptions on_link(const std::string& link) {
  sim::ServeOptions serve;
  serve.link_path = link;
  return serve;
}

TEST(LostLine, MakesItsDeviceOfflineEverywhereUntilItPublishesAgain) {
  gwtest::TempDir dir;
  const std::string link = dir.File("tty-link");
  std::optional<sim::PtyServer> simulator;
  simulator.emplace(sim::default_scenario(), sim::FaultPlan{}, on_link(link));
  auto options = gwtest::quick_options(link, dir.File("r.jsonl"), 0);
  options.config.interval = 0.05;
  options.deadline = 60;
  gw::Gateway gateway(options);
  gw::HttpOutput output(gw::HttpListen{"127.0.0.1", 0});
  gateway.AddOutput(output, {});
  const gw::HttpServer& http = output.Server();
  std::thread run([&gateway] { gateway.Run(); });
  const auto health = [&] { return device_json(http.Port())["health"].asString(); };

  ASSERT_TRUE(eventually([&] { return health() == "online"; }));
  const auto has_sample = [&](const std::string& sample) {
    return gwtest::get(http.Port(), "/metrics").body.find(sample) != std::string::npos;
  };
  const std::string system_value = "qmr4100_system_value{data_id=\"1000\"} ";
  EXPECT_FALSE(device_json(http.Port())["stale"].asBool());
  EXPECT_TRUE(has_sample(system_value));
  const auto lost_at = std::chrono::steady_clock::now();
  simulator.reset();
  // Within one answer timeout (0.2 s) and well before offline_after cycles could pass.
  ASSERT_TRUE(eventually([&] { return health() == "offline"; }));
  EXPECT_LT(std::chrono::steady_clock::now() - lost_at, std::chrono::seconds(5));
  const std::string metrics = gwtest::get(http.Port(), "/metrics").body;
  EXPECT_NE(metrics.find("qmr4100_up{data_id=\"1000\"} 0"), std::string::npos);
  EXPECT_EQ(metrics.find(system_value), std::string::npos) << "no current value while offline";
  EXPECT_EQ(metrics.find("qmr4100_module_value{data_id=\"1000\""), std::string::npos);
  EXPECT_NE(metrics.find("qmr4100_last_publication_timestamp_seconds{data_id=\"1000\"}"),
            std::string::npos);
  const Json::Value offline = device_json(http.Port());
  EXPECT_TRUE(offline["stale"].asBool());
  EXPECT_FALSE(offline["health_since"].asString().empty());
  EXPECT_FALSE(offline["view"]["modules"].empty()) << "the last values are still there";

  simulator.emplace(sim::default_scenario(), sim::FaultPlan{}, on_link(link));
  EXPECT_TRUE(eventually([&] { return health() == "online"; }));
  EXPECT_FALSE(device_json(http.Port())["stale"].asBool());
  EXPECT_TRUE(has_sample(system_value));
  gateway.Stop();
  run.join();

  std::vector<std::string> transitions;
  for (const Json::Value& event : gwtest::events_named(gwtest::read_record(dir.File("r.jsonl")),
                                                       "health"))
    transitions.push_back(event["health"].asString());
  EXPECT_EQ(transitions, (std::vector<std::string>{"online", "offline", "online"}));
}

}  // namespace
