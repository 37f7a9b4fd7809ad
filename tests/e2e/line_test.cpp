// The serial line as the field has it: another gateway on the port, bytes
// left on it from before, a port that becomes a file and then a folder,
// spoilt answers, a dead address beside a live one, and noise that never ends.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <random>
#include <regex>
#include <sstream>
#include <thread>

#include <fmt/format.h>

#include "outputs/http/http_api.h"
#include "qmr4100/sim/pty_server.h"
#include "support.h"
#include "ydt1363/frame.h"

namespace gw = qmr4100::gateway;
namespace sim = qmr4100::sim;

namespace {

using namespace std::chrono_literals;

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds limit = 20s) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    if (condition()) return true;
    std::this_thread::sleep_for(20ms);
  }
  return condition();
}

// A file as it is now, for one being written (the record of a running gateway).
std::string text_of(const std::string& path) {
  std::ostringstream text;
  text << std::ifstream(path).rdbuf();
  return text.str();
}

std::size_t count_of(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

std::uint64_t published(const gw::Gateway& gateway, unsigned int data_id = 1000) {
  return gateway.Model().Read(
      data_id, [](const gw::DeviceState& device) { return device.Count().published; });
}

gw::Health health(const gw::Gateway& gateway, unsigned int data_id = 1000) {
  return gateway.Model().Read(data_id,
                              [](const gw::DeviceState& device) { return device.CurrentHealth(); });
}

// A gateway polling on its own thread until the end of the scope.
class Running {
 public:
  explicit Running(gw::Gateway& gateway)
      : m_gateway(gateway), m_thread([&gateway] { gateway.Run(); }) {}
  ~Running() { Stop(); }
  Running(const Running&) = delete;
  Running& operator=(const Running&) = delete;
  void Stop() {
    if (!m_thread.joinable()) return;
    m_gateway.Stop();
    m_thread.join();
  }

 private:
  gw::Gateway& m_gateway;
  std::thread m_thread;
};

// A pseudo-terminal whose far end the test holds: what it writes, the gateway
// reads, and nothing answers unless the test does.
class TestLine {
 public:
  TestLine() : m_master(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)) {
    char name[128] = {};
    if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0 ||
        ptsname_r(m_master, name, sizeof name) != 0)
      std::abort();
    m_path = name;
    // Held open and raw, so that what is written waits there as on a serial port.
    m_held = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    tcgetattr(m_held, &tio);
    cfmakeraw(&tio);
    tcsetattr(m_held, TCSANOW, &tio);
  }
  ~TestLine() {
    ::close(m_held);
    ::close(m_master);
  }
  TestLine(const TestLine&) = delete;
  TestLine& operator=(const TestLine&) = delete;

  const std::string& Path() const { return m_path; }
  void Write(const std::string& bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
      const ssize_t n = ::write(m_master, bytes.data() + done, bytes.size() - done);
      if (n <= 0) return;
      done += static_cast<std::size_t>(n);
    }
  }
  // What the gateway wrote, waiting at most `wait` for it.
  std::string Read(std::chrono::milliseconds wait) {
    pollfd fd{m_master, POLLIN, 0};
    if (::poll(&fd, 1, static_cast<int>(wait.count())) <= 0) return {};
    char buffer[4096];
    const ssize_t n = ::read(m_master, buffer, sizeof buffer);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
  }

 private:
  int m_master;
  int m_held = -1;
  std::string m_path;
};

gw::GatewayOptions running_options(const std::string& port, const std::string& record) {
  gw::GatewayOptions options = gwtest::quick_options(port, record, 0);
  options.config.interval = 0.05;
  options.deadline = 60;
  return options;
}

TEST(SerialPort, ASecondGatewayIsRefusedWithTheHoldersPidUntilTheFirstLetsGo) {
  gwtest::TempDir dir;
  sim::PtyServer server(sim::default_scenario(), {}, {});
  auto first = std::make_unique<gw::Gateway>(running_options(server.path(), dir.File("1.jsonl")));
  auto first_run = std::make_unique<Running>(*first);
  ASSERT_TRUE(eventually([&] { return published(*first) > 0; }));

  gw::Gateway second(running_options(server.path(), dir.File("2.jsonl")));
  Running second_run(second);
  // Both run in this process: the holder is this process.
  const std::string refusal = fmt::format("port {} is in use (pid {})", server.path(), getpid());
  ASSERT_TRUE(eventually(
      [&] { return text_of(dir.File("2.jsonl")).find(refusal) != std::string::npos; }))
      << text_of(dir.File("2.jsonl"));
  EXPECT_EQ(published(second), 0u);
  first_run.reset();
  first.reset();
  EXPECT_TRUE(eventually([&] { return published(second) > 0; }));
  second_run.Stop();

  const auto refusals = gwtest::events_named(gwtest::read_record(dir.File("2.jsonl")),
                                             "port_cannot_open");
  ASSERT_EQ(refusals.size(), 1u) << "said once, not at every attempt";
  EXPECT_EQ(refusals[0]["error"], refusal);
}

TEST(SerialPort, WhatWaitedOnTheLineBeforeTheOpenIsNotTakenForAnAnswer) {
  gwtest::TempDir dir;
  TestLine line;
  // An error reply of ADR 1, left from before the gateway started.
  line.Write(ydt1363::encode(ydt1363::Frame{0x21, 1, 0x41, 0x04, {}}));
  auto options = gwtest::quick_options(line.Path(), dir.File("r.jsonl"), 1);
  options.deadline = 1;
  gw::Gateway gateway(options);
  EXPECT_NE(gateway.Run(), 0);
  const auto record = gwtest::read_record(dir.File("r.jsonl"));
  EXPECT_TRUE(gwtest::events_named(record, "cycle_failed").empty());
  EXPECT_FALSE(gwtest::events_named(record, "abandoned").empty());
}

TEST(SerialPort, APortReplacedByAFileAndThenAFolderSaysEachNewReasonOnce) {
  gwtest::TempDir dir;
  const std::string link = dir.File("tty");
  sim::ServeOptions serve;
  serve.link_path = link;
  auto server = std::make_unique<sim::PtyServer>(sim::default_scenario(), sim::FaultPlan{}, serve);
  gw::Gateway gateway(running_options(link, dir.File("r.jsonl")));
  Running run(gateway);
  ASSERT_TRUE(eventually([&] { return published(gateway) > 0; }));

  const auto said = [&](const std::string& error) {
    return eventually([&] {
      return text_of(dir.File("r.jsonl")).find(link + ": " + error) != std::string::npos;
    });
  };
  server.reset();  // its link goes with it
  ASSERT_TRUE(said("No such file or directory"));
  std::ofstream(link) << "not a port";
  ASSERT_TRUE(said("Inappropriate ioctl for device"));
  std::filesystem::remove(link);
  std::filesystem::create_directory(link);
  ASSERT_TRUE(said("Is a directory"));
  run.Stop();

  std::map<std::string, int> reasons;
  for (const Json::Value& event :
       gwtest::events_named(gwtest::read_record(dir.File("r.jsonl")), "port_cannot_open"))
    ++reasons[event["error"].asString()];
  EXPECT_EQ(reasons[link + ": Inappropriate ioctl for device"], 1);
  EXPECT_EQ(reasons[link + ": Is a directory"], 1);
}

TEST(SpoiltAnswers, AreAskedForOnceMoreSoADeviceAnswering87PercentStaysOnline) {
  gwtest::TempDir dir;
  sim::FaultPlan faults = sim::parse_faults("bad-checksum:0.13");
  faults.seed = 3;
  sim::PtyServer server(sim::default_scenario(), faults, {});
  auto options = gwtest::quick_options(server.path(), dir.File("r.jsonl"), 20);
  options.config.offline_after = 3;
  gw::Gateway gateway(options);
  ASSERT_EQ(gateway.Run(), 0);

  const auto record = gwtest::read_record(dir.File("r.jsonl"));
  for (const Json::Value& change : gwtest::events_named(record, "health"))
    EXPECT_EQ(change["health"], "online") << change;
  std::size_t retried = 0;
  for (const Json::Value& refused : gwtest::events_named(record, "protocol_error"))
    retried += refused["retried"].asBool();
  const Json::Value counters = gateway.Model().Read(
      1000, [](const gw::DeviceState& device) { return gw::device_summary(device)["counters"]; });
  EXPECT_GT(counters["retries"].asUInt(), 0u);
  EXPECT_EQ(counters["retries"].asUInt(), retried);
  EXPECT_EQ(counters["published"].asUInt(), 20u);
}

// The simulator answers ADR 1, every 0.1 s (the worker keeps up with the
// alarm batches); nothing answers ADR 4, polled first.
gw::GatewayOptions dead_and_live(const std::string& port, const std::string& record) {
  gw::GatewayOptions options = gwtest::quick_options(port, record, 0);
  options.config.devices = {{port, 4, 1004}, {port, 1, 1001}};
  options.config.devices[1].interval = 0.1;
  return options;
}

TEST(SharedLine, ADeadAddressCostsTheLiveOneNoSettlingAndIsNamedWithAHint) {
  gwtest::TempDir dir;
  sim::PtyServer server(sim::default_scenario(), {}, {});
  const int console = ::open(dir.File("console.txt").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  auto options = dead_and_live(server.path(), dir.File("r.jsonl"));
  options.config.timeout = 0.5;
  options.config.offline_after = 1000;  // no backoff: settling alone
  options.deadline = 5;
  options.console_fd = console;
  {
    gw::Gateway gateway(options);
    gateway.Run();
    // A round that also waited for a silent line to settle took a second:
    // five of them at most.
    EXPECT_GE(gateway.PublishedCycles(1001), 8);
  }
  ::close(console);

  const auto abandoned =
      gwtest::events_named(gwtest::read_record(dir.File("r.jsonl")), "abandoned");
  ASSERT_FALSE(abandoned.empty());
  const std::string no_answer = fmt::format("no answer from ADR 4 on {}", server.path());
  for (const Json::Value& event : abandoned)
    EXPECT_EQ(event["reason"], no_answer + " within 500 ms");
  EXPECT_EQ(count_of(text_of(dir.File("console.txt")),
                     "device 1004: " + no_answer + ": check the address, baud rate and wiring\n"),
            1u)
      << text_of(dir.File("console.txt"));
}

TEST(SharedLine, AnOfflineDeviceIsPolledAtABackedOffInterval) {
  gwtest::TempDir dir;
  sim::PtyServer server(sim::default_scenario(), {}, {});
  auto options = dead_and_live(server.path(), dir.File("r.jsonl"));
  options.config.timeout = 0.1;
  options.config.offline_after = 2;
  options.deadline = 4;
  gw::Gateway gateway(options);
  gateway.Run();
  EXPECT_EQ(health(gateway, 1004), gw::Health::Offline);
  EXPECT_GT(gateway.PublishedCycles(1001), 0);
  // Every 0.2 s (its timeout, and one more for a late answer) without backoff;
  // at 0.1, 0.3, 0.5, 0.9, 1.7 and 3.3 s with it.
  EXPECT_LE(gwtest::events_named(gwtest::read_record(dir.File("r.jsonl")), "abandoned").size(),
            10u);
}

TEST(SharedLine, ADeviceBackOnlineIsPolledAtItsOwnIntervalAgain) {
  gwtest::TempDir dir;
  const std::string link = dir.File("tty");
  auto silent = std::make_unique<TestLine>();
  std::filesystem::create_symlink(silent->Path(), link);
  auto options = gwtest::quick_options(link, dir.File("r.jsonl"), 0);
  options.config.timeout = 0.1;
  options.config.offline_after = 1;
  options.deadline = 60;
  gw::Gateway gateway(options);
  Running run(gateway);
  // Polled at 0, 0.2, 0.6 and 1.4 s; the next cycle comes at 3.0 s, then 3.2 s later.
  ASSERT_TRUE(eventually([&] {
    return count_of(text_of(dir.File("r.jsonl")), R"("event":"abandoned")") >= 4;
  }));
  sim::ServeOptions serve;
  serve.link_path = link;  // the link now leads to a power system
  sim::PtyServer server(sim::default_scenario(), {}, serve);
  silent.reset();  // the gateway loses the silent line and opens the link again
  ASSERT_TRUE(eventually([&] { return published(gateway) > 0; }));
  EXPECT_TRUE(eventually([&] { return published(gateway) >= 4; }, 2500ms));
}

// The quoted count of "device 1000: 41 more refused frames" lines, added up.
std::size_t held_back(const std::string& console) {
  static const std::regex kSummary("device 1000: ([0-9]+) more refused frames");
  std::size_t count = 0;
  for (std::sregex_iterator it(console.begin(), console.end(), kSummary), end; it != end; ++it)
    count += std::stoul((*it)[1]);
  return count;
}

TEST(NoisyLine, KeepsNoDeviceOnlineAndTheConsoleCountsWhatItHoldsBack) {
  gwtest::TempDir dir;
  TestLine line;
  const int console = ::open(dir.File("console.txt").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  auto options = gwtest::quick_options(line.Path(), dir.File("r.jsonl"), 0);
  options.deadline = 60;
  options.console_fd = console;
  auto gateway = std::make_unique<gw::Gateway>(options);
  std::atomic<bool> flooding{true};
  std::thread noise([&] {
    std::mt19937 random(7);
    std::string bytes(1000, '\0');
    while (flooding) {  // about 100 kB/s
      for (char& c : bytes) c = static_cast<char>(random());
      line.Write(bytes);
      line.Read(0ms);  // the gateway's commands
      std::this_thread::sleep_for(10ms);
    }
  });
  auto run = std::make_unique<Running>(*gateway);
  const bool offline = eventually([&] { return health(*gateway) == gw::Health::Offline; });
  flooding = false;
  noise.join();
  ASSERT_TRUE(offline);
  // Quiet again, the line is polled again.
  EXPECT_TRUE(eventually([&] { return line.Read(100ms).find('~') != std::string::npos; }));
  run.reset();
  gateway.reset();
  ::close(console);

  const auto record = gwtest::read_record(dir.File("r.jsonl"));
  std::size_t never_quiet = 0;
  for (const Json::Value& event : gwtest::events_named(record, "abandoned"))
    never_quiet += event["reason"] == "line never quiet for 200 ms";
  EXPECT_GE(never_quiet, 2u);
  const std::string text = text_of(dir.File("console.txt"));
  const std::size_t shown = count_of(text, "device 1000: frame refused at step");
  const std::size_t refused = gwtest::events_named(record, "protocol_error").size();
  EXPECT_LE(shown, 3u) << text;
  EXPECT_GT(refused, 10u);
  EXPECT_EQ(shown + held_back(text), refused) << text;
}

}  // namespace
