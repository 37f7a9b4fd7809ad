// The serial line as the field has it: another gateway on the port, bytes
// left on it from before, a port that becomes a file and then a folder.
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
#include <sstream>
#include <thread>

#include <fmt/format.h>

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

std::uint64_t published(const gw::Gateway& gateway, unsigned int data_id = 1000) {
  return gateway.Model().Read(data_id,
                              [](const gw::DeviceState& device) { return device.Count().published; });
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
  ASSERT_TRUE(eventually([&] { return text_of(dir.File("2.jsonl")).find(refusal) != std::string::npos; }))
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

}  // namespace
