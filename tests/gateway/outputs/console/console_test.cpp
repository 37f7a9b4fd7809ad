// What the operator reads on the console during whole runs.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "qmr4100/sim/pty_server.h"
#include "support.h"

namespace gw = qmr4100::gateway;
namespace sim = qmr4100::sim;

namespace {

// The console of one run, kept in a file.
class ConsoleFile {
 public:
  explicit ConsoleFile(const std::string& path)
      : m_path(path), m_fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600)) {}
  ~ConsoleFile() { ::close(m_fd); }
  int Fd() const { return m_fd; }
  std::size_t Count(const std::string& text) const {
    std::ifstream file(m_path);
    std::size_t count = 0;
    for (std::string line; std::getline(file, line);) count += line.find(text) != std::string::npos;
    return count;
  }
  std::string Text() const {
    std::ostringstream text;
    text << std::ifstream(m_path).rdbuf();
    return text.str();
  }

 private:
  std::string m_path;
  int m_fd;
};

TEST(GatewayConsole, SilentDeviceIsReportedOfflineOnce) {
  gwtest::TempDir dir;
  sim::PtyServer server(sim::default_scenario(), {}, {});
  ConsoleFile console(dir.File("console.txt"));
  auto options = gwtest::quick_options(server.path(), dir.File("r.jsonl"), 1);
  options.config.devices = {{server.path(), 7, 1007}};  // the simulator answers address 1 only
  options.config.timeout = 0.05;
  options.deadline = 1.5;
  options.console_fd = console.Fd();
  gw::Gateway gateway(options);
  EXPECT_NE(gateway.Run(), 0);

  EXPECT_EQ(console.Count("device 1007: offline (no publication in 3 cycles"), 1u)
      << console.Text();
  EXPECT_LE(console.Count("cycle abandoned"), 2u) << console.Text();
  const auto health = gwtest::events_named(gwtest::read_record(dir.File("r.jsonl")), "health");
  ASSERT_EQ(health.size(), 1u);
  EXPECT_GE(gwtest::events_named(gwtest::read_record(dir.File("r.jsonl")), "abandoned").size(),
            4u);
}

TEST(GatewayConsole, ErrorReplyIsNamedAndDriverLinesStayInTheRecord) {
  gwtest::TempDir dir;
  sim::FaultPlan faults = sim::parse_faults("error-code:0.2");
  faults.seed = 5;
  sim::PtyServer server(sim::default_scenario(), faults, {});
  ConsoleFile console(dir.File("console.txt"));
  auto options = gwtest::quick_options(server.path(), dir.File("r.jsonl"), 3);
  options.console_fd = console.Fd();
  options.config.offline_after = 100;  // an offline device is polled less often
  gw::Gateway gateway(options);
  ASSERT_EQ(gateway.Run(), 0);

  const std::string text = console.Text();
  ASSERT_GT(console.Count(": error reply "), 0u) << text;
  EXPECT_EQ(console.Count("no answer"), 0u) << text;
  EXPECT_NE(text.find("cycle failed at step"), std::string::npos) << text;
  EXPECT_EQ(console.Count("cycle 3 published"), 1u) << text;
  EXPECT_EQ(text.find("VARNOK_QMR4100"), std::string::npos) << "driver lines without -v";
  const auto record = gwtest::read_record(dir.File("r.jsonl"));
  for (const Json::Value& failed : gwtest::events_named(record, "cycle_failed"))
    EXPECT_NE(failed["reason"].asString().find("error reply"), std::string::npos) << failed;
}

// The full summary shows the configured labels where the one-line summary does, and more.
TEST(GatewayConsole, FullSummaryNamesTheValuesAsConfigured) {
  gwtest::TempDir dir;
  sim::PtyServer server(sim::default_scenario(), {}, {});
  ConsoleFile console(dir.File("console.txt"));
  auto options = gwtest::quick_options(server.path(), dir.File("r.jsonl"), 1);
  options.console_fd = console.Fd();
  options.summary = gw::SummaryStyle::Full;
  options.config.fields = {{"system_value", {"Bus voltage", "V"}},
                           {"module_value", {"Current", "A"}},
                           {"modules[2].value", {"Load", ""}},
                           {"values_a2[0]", {"", "degC"}}};
  gw::Gateway gateway(options);
  ASSERT_EQ(gateway.Run(), 0);

  const std::string text = console.Text();
  for (const char* expected : {"\n  module 1: Current ", " A normal\n", "\n  module 2: Load ",
                               "\n  Bus voltage ", " V, 0x95 value ", " degC "})
    EXPECT_NE(text.find(expected), std::string::npos) << expected << "\nin:\n" << text;
  EXPECT_EQ(text.find("system value"), std::string::npos) << text;
}

}  // namespace
