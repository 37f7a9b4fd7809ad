// Several power systems on one RS-485 line: one pseudo-terminal, a responder
// that answers for two addresses, and a third address nobody answers.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <deque>
#include <map>
#include <optional>
#include <thread>

#include "qmr4100/sim/simulator.h"
#include "support.h"

namespace gw = qmr4100::gateway;
namespace sim = qmr4100::sim;

namespace {

// Every simulator hears every frame on the line and answers its own address.
class BusResponder {
 public:
  explicit BusResponder(const std::vector<sim::Scenario>& systems)
      : m_master(posix_openpt(O_RDWR | O_NOCTTY)) {
    if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0)
      throw std::runtime_error("no pseudo-terminal");
    m_path = ptsname(m_master);
    for (const sim::Scenario& system : systems) m_systems.emplace_back(system);
    m_thread = std::thread([this] { Serve(); });
  }
  ~BusResponder() {
    m_stop = true;
    m_thread.join();
    close(m_master);
  }
  const std::string& Path() const { return m_path; }
  const sim::Simulator& System(std::size_t i) const { return m_systems[i]; }

 private:
  void Serve() {
    char buffer[4096];
    while (!m_stop) {
      pollfd ready{m_master, POLLIN, 0};
      if (poll(&ready, 1, 20) <= 0) continue;
      const ssize_t count = (ready.revents & POLLIN) ? read(m_master, buffer, sizeof buffer) : -1;
      if (count <= 0) {  // nobody has the line open yet
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        continue;
      }
      for (sim::Simulator& system : m_systems)
        for (const auto& output : system.receive({buffer, static_cast<std::size_t>(count)}))
          WriteAll(output.bytes);
    }
  }
  void WriteAll(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t written = write(m_master, bytes.data() + done, bytes.size() - done);
      if (written <= 0) return;
      done += static_cast<std::size_t>(written);
    }
  }

  int m_master;
  std::string m_path;
  std::deque<sim::Simulator> m_systems;  // a deque: simulators stay where they are built
  std::atomic<bool> m_stop{false};
  std::thread m_thread;
};

sim::Scenario system_at(std::uint8_t address, std::size_t modules) {
  sim::Scenario scenario = sim::default_scenario();
  scenario.address = address;
  scenario.modules.resize(modules, scenario.modules.front());
  scenario.changes.clear();
  return scenario;
}

TEST(GatewayBus, DevicesOnOneLineArePolledInTurnAndASilentOneStallsNoOne) {
  gwtest::TempDir dir;
  const std::vector<sim::Scenario> systems = {system_at(1, 3), system_at(2, 5)};
  BusResponder line(systems);
  auto options = gwtest::quick_options(line.Path(), dir.File("r.jsonl"), 3);
  options.config.devices = {{line.Path(), 1, 1001}, {line.Path(), 2, 1002}, {line.Path(), 3, 1003}};
  options.config.timeout = 0.1;
  options.deadline = 2.5;
  gw::Gateway gateway(options);
  EXPECT_NE(gateway.Run(), 0);  // address 3 never answers, so its cycles never come
  EXPECT_EQ(gateway.PublishedCycles(1001), 3);
  EXPECT_EQ(gateway.PublishedCycles(1002), 3);
  EXPECT_EQ(gateway.PublishedCycles(1003), 0);

  const auto record = gwtest::read_record(dir.File("r.jsonl"));
  for (const Json::Value& snapshot : gwtest::events_named(record, "snapshot")) {
    const std::size_t system = snapshot["data_id"].asUInt() == 1001 ? 0 : 1;
    EXPECT_EQ(
        sim::compare_block(gwtest::block_of(snapshot), sim::expected_block(systems[system], 1)),
        std::nullopt);
  }
  std::map<unsigned int, std::size_t> batch_counts;
  for (const Json::Value& batch : gwtest::events_named(record, "batch"))
    batch_counts[batch["data_id"].asUInt()] = batch["count"].asUInt();
  EXPECT_EQ(batch_counts[1001], 2 * 3 + 1144u);
  EXPECT_EQ(batch_counts[1002], 2 * 5 + 1144u);
  const auto abandoned = gwtest::events_named(record, "abandoned");
  ASSERT_FALSE(abandoned.empty());
  for (const Json::Value& event : abandoned) EXPECT_EQ(event["data_id"], 1003);
}

}  // namespace
