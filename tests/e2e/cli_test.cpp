// The program as a user runs it.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "support.h"

namespace {

struct Outcome {
  int status;
  std::string output;  // standard output and error together
};

Outcome run_shell(const std::string& command) {
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return {-1, "popen failed"};
  std::string output;
  char buffer[4096];
  while (std::size_t count = fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, count);
  const int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

Outcome run_gateway(const std::string& arguments) {
  // `timeout` bounds every run even if the program misbehaves.
  return run_shell("timeout 60 " + std::string(GATEWAY_PROGRAM) + " " + arguments + " 2>&1");
}

TEST(GatewayProgram, HelpDocumentsEveryOption) {
  const Outcome outcome = run_gateway("--help");
  EXPECT_EQ(outcome.status, 0);
  for (const char* option :
       {"--plugin", "--port", "--address", "--data-id", "--baud", "--name", "--config",
        "--interval", "--timeout",
        "--cache-dir", "--record", "--cycles", "--deadline", "--simulate", "--scenario", "--faults",
        "--seed", "--show-cache"})
    EXPECT_NE(outcome.output.find(option), std::string::npos) << option;
}

struct SetupError {
  const char* arguments;
  const char* message;
};

void PrintTo(const SetupError& row, std::ostream* out) { *out << row.message; }

const SetupError kSetupErrors[] = {
    {"--plugin /nonexistent/plugin.so --port /dev/null",
     "/nonexistent/plugin.so: cannot load the plug-in"},
    {"--plugin " NO_ENTRY_PLUGIN " --port /dev/null", "no entry point get_providers"},
    {"--plugin " OTHER_TYPE_PLUGIN " --port /dev/null", "not \"varnok_qmr4100\""},
    {"", "nothing to poll"},
    {"--port /dev/null --address 300", "--address"},
    {"--simulate --faults wobble:0.5", "wobble"},
    {"--config /nonexistent/gateway.json", "/nonexistent/gateway.json: cannot be read"},
    {"--simulate --cycles 1 --interval nan", "--interval: nan is not allowed"},
    {"--simulate --cycles 1 --timeout nan", "--timeout: nan is not allowed"},
    {"--simulate --cycles 1 --timeout 0.0001", "(allowed: 0.001 up to 600 seconds)"},
    {"--simulate --cycles 1 --record-max-mb nan", "--record-max-mb: nan is not allowed"},
    {"--simulate --cycles 1 --record-max-mb 1e-7", "(allowed: 1e-06 up to 1e+06 MB)"},
    {"--simulate --cycles 1 --deadline inf", "--deadline: inf is not allowed"},
    {"--port /dev/null --baud 300", "--baud: 300 is not allowed (allowed: one of 1200, 2400"},
    {"--simulate --cycles 1 --ha-discovery", "--ha-discovery needs a broker"},
    {"--simulate --cycles 1 --mqtt mqtt://127.0.0.1:1 --mqtt-prefix 'a/+'",
     "--mqtt-prefix: \"a/+\" is not allowed"},
    {"--simulate --cycles 1 --http '[::1]'", "'[::1]' has no port"},
};

class GatewayProgramSetup : public testing::TestWithParam<SetupError> {};

TEST_P(GatewayProgramSetup, RefusesWithAClearMessage) {
  const Outcome outcome = run_gateway(GetParam().arguments);
  EXPECT_NE(outcome.status, 0);
  EXPECT_NE(outcome.output.find(GetParam().message), std::string::npos) << outcome.output;
}

INSTANTIATE_TEST_SUITE_P(Table, GatewayProgramSetup, testing::ValuesIn(kSetupErrors));

TEST(GatewayProgram, ConfigurationErrorNamesTheKey) {
  gwtest::TempDir dir;
  std::ofstream(dir.File("gw.json"))
      << R"({"devices":[{"port":"/dev/null","address":999,"data_id":1}]})";
  const Outcome outcome = run_gateway("--config " + dir.File("gw.json"));
  EXPECT_NE(outcome.status, 0);
  EXPECT_NE(
      outcome.output.find("devices[0].address: 999 is not allowed (allowed: an integer 0..255)"),
      std::string::npos)
      << outcome.output;
}

// A listening socket on a loopback port the system picks; closed at the end.
class TakenPort {
 public:
  TakenPort() : m_fd(socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (bind(m_fd, reinterpret_cast<sockaddr*>(&address), size) != 0 || listen(m_fd, 1) != 0 ||
        getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &size) != 0)
      throw std::runtime_error("no loopback port to take");
    m_port = ntohs(address.sin_port);
  }
  ~TakenPort() { close(m_fd); }
  int Port() const { return m_port; }

 private:
  int m_fd;
  int m_port = 0;
};

// Run with a plug-in that is not there and an HTTP port already taken: a
// check opens neither.
TEST(GatewayProgram, CheckConfigOpensNothingAndSaysWhatItFound) {
  gwtest::TempDir dir;
  const TakenPort taken;
  std::ofstream(dir.File("gw.json"))
      << R"({"devices":[{"port":"/dev/null","data_id":1},{"port":"/dev/null","address":2,)"
      << R"("data_id":2}],"http":)" << taken.Port() << R"(,"mqtt":{"url":"mqtt://127.0.0.1:1"}})";
  const Outcome outcome =
      run_gateway("--plugin /nonexistent/plugin.so --check-config " + dir.File("gw.json"));
  EXPECT_EQ(outcome.status, 0) << outcome.output;
  EXPECT_EQ(outcome.output,
            dir.File("gw.json") + ": configuration is valid (2 devices; HTTP on 127.0.0.1:" +
                std::to_string(taken.Port()) + ", MQTT to mqtt://127.0.0.1:1)\n");
}

struct InvalidConfig {
  const char* name;
  const char* json;
  std::vector<const char*> problems;  // each on its own line, after the file's name
};

void PrintTo(const InvalidConfig& row, std::ostream* out) { *out << row.name; }

const InvalidConfig kInvalidConfigs[] = {
    {"devices and outputs",
     R"({"devices":[{"port":"/dev/null","address":999,"data_id":1}],"http":"x",)"
     R"("mqtt":{"url":"ftp://h"}})",
     {"devices[0].address: 999 is not allowed", "http", "mqtt.url"}},
    {"password file not there",
     R"({"devices":[{"port":"/dev/null","data_id":1}],)"
     R"("mqtt":{"url":"mqtt://h","user":"u","password_file":"/nonexistent/pass"}})",
     {"mqtt password file /nonexistent/pass: cannot be read"}},
};

class CheckConfig : public testing::TestWithParam<InvalidConfig> {};

TEST_P(CheckConfig, ListsEveryProblemAndFails) {
  gwtest::TempDir dir;
  std::ofstream(dir.File("gw.json")) << GetParam().json;
  const Outcome outcome = run_gateway("--check-config " + dir.File("gw.json"));
  EXPECT_EQ(outcome.status, 2) << outcome.output;
  for (const char* problem : GetParam().problems)
    EXPECT_NE(outcome.output.find(problem), std::string::npos) << problem << "\n"
                                                               << outcome.output;
  EXPECT_EQ(outcome.output.find("valid"), std::string::npos) << outcome.output;
}

INSTANTIATE_TEST_SUITE_P(Table, CheckConfig, testing::ValuesIn(kInvalidConfigs));

// A regular expression once recursed over the host until the stack ran out.
TEST(GatewayProgram, RefusesAVeryLongMqttHost) {
  const std::string url = "mqtt://" + std::string(60000, 'a');
  gwtest::TempDir dir;
  std::ofstream(dir.File("gw.json"))
      << R"({"devices":[{"port":"/dev/null","data_id":1}],"mqtt":{"url":")" << url << R"("}})";
  for (const std::string& arguments :
       {"--simulate --cycles 1 --mqtt " + url, "--config " + dir.File("gw.json")}) {
    const Outcome outcome = run_gateway(arguments);
    EXPECT_EQ(outcome.status, 2) << outcome.output.substr(0, 500);
    EXPECT_NE(outcome.output.find("(allowed: a host name of at most 253 characters)"),
              std::string::npos)
        << outcome.output.substr(0, 500);
  }
}

TEST(GatewayProgram, OneDeviceTakesItsNameAndBaudAndAHostNameToListenOn) {
  const Outcome outcome =
      run_gateway("--simulate --cycles 1 --name 'Hall A' --baud 19200 --http localhost:0");
  ASSERT_EQ(outcome.status, 0) << outcome.output;
  EXPECT_NE(outcome.output.find("device 1000 (Hall A): cycle 1 published"), std::string::npos)
      << outcome.output;
  EXPECT_TRUE(outcome.output.find("live page on http://127.0.0.1:") != std::string::npos ||
              outcome.output.find("live page on http://[::1]:") != std::string::npos)
      << outcome.output;
}

TEST(GatewayProgram, SimulateShowsCyclesAndTheScriptedAlarm) {
  gwtest::TempDir dir;
  const Outcome outcome = run_gateway("--simulate --deadline 40 --cache-dir " + dir.File("cache") +
                                      " --record " + dir.File("r.jsonl"));
  ASSERT_EQ(outcome.status, 0) << outcome.output;
  EXPECT_NE(outcome.output.find("cycle 6 published"), std::string::npos);
  EXPECT_NE(outcome.output.find("alarm raised"), std::string::npos);
  EXPECT_NE(outcome.output.find("alarm cleared"), std::string::npos);
  EXPECT_EQ(gwtest::events_named(gwtest::read_record(dir.File("r.jsonl")), "snapshot").size(), 6u);

  for (const std::string& path :
       {dir.File("cache/varnok_qmr4100-1000.snapshot"), dir.File("cache")}) {
    const Outcome shown = run_gateway("--show-cache " + path);
    EXPECT_EQ(shown.status, 0) << shown.output;
    EXPECT_NE(shown.output.find("module count"), std::string::npos) << shown.output;
  }
}

TEST(GatewayProgram, TerminationStopsCleanlyWithACompleteRecord) {
  gwtest::TempDir dir;
  const std::string record = dir.File("r.jsonl");
  // Polls until told to stop: SIGTERM a moment after the start, SIGKILL much
  // later should the program not stop.
  const Outcome outcome = run_shell(std::string(GATEWAY_PROGRAM) +
                                    " --simulate --cycles 0 --interval 0.05 --record " + record +
                                    " 2>&1 & pid=$!; sleep 1; kill -TERM $pid;"
                                    " (sleep 30; kill -KILL $pid) >/dev/null 2>&1 & watchdog=$!;"
                                    " wait $pid; status=$?; kill $watchdog; exit $status");
  EXPECT_EQ(outcome.status, 0) << outcome.output;
  EXPECT_NE(outcome.output.find("gateway stopped: terminated"), std::string::npos)
      << outcome.output;
  const auto events = gwtest::read_record(record);  // every line parses
  const auto snapshots = gwtest::events_named(events, "snapshot");
  EXPECT_EQ(gwtest::events_named(events, "batch").size(), snapshots.size());
}

// Its console on a pipe whose reader goes away: polling and the record go
// on to the end, the status is a run's own, and the lost console is said once.
TEST(GatewayProgram, ConsoleReaderGoneLeavesTheRunAsItWas) {
  gwtest::TempDir dir;
  const std::string record = dir.File("r.jsonl");
  const std::string errors = dir.File("errors.txt");
  const Outcome outcome = run_shell("{ timeout 60 " GATEWAY_PROGRAM " --simulate --cycles 5 --record " +
                                    record + " 2> " + errors + "; echo $? > " +
                                    dir.File("status") + "; } | head -n 1");
  std::string status;
  std::ifstream(dir.File("status")) >> status;
  EXPECT_EQ(status, "0") << outcome.output;
  EXPECT_EQ(outcome.output.rfind("simulator serving on ", 0), 0u) << outcome.output;
  const auto events = gwtest::read_record(record);
  EXPECT_EQ(gwtest::events_named(events, "snapshot").size(), 5u);
  EXPECT_EQ(gwtest::events_named(events, "gateway_stopped").size(), 1u);
  std::ostringstream said;
  said << std::ifstream(errors).rdbuf();
  EXPECT_EQ(said.str(),
            "console: cannot write to standard output (Broken pipe); the record and the outputs "
            "go on\n");
}

// SIGHUP between cycles: the gateway says it ignores it and polls on until SIGTERM.
TEST(GatewayProgram, HangupIsIgnoredAndPollingGoesOn) {
  gwtest::TempDir dir;
  std::ofstream(dir.File("hangup.sh")) << R"(gateway=$1 out=$2
$gateway --simulate --cycles 0 --interval 0.05 > "$out" 2>&1 & pid=$!
(sleep 60; kill -KILL $pid) > /dev/null 2>&1 & watchdog=$!
published_after() { sed -n "/$1/,\$p" "$out" | grep -q 'cycle .* published'; }
wait_for() { for i in $(seq 600); do "$@" && return 0; sleep 0.1; done; return 1; }
wait_for published_after 'simulator serving' && kill -HUP $pid &&
  wait_for published_after 'SIGHUP ignored'
kill -TERM $pid; wait $pid; status=$?
kill $watchdog; cat "$out"; exit $status
)";
  const Outcome outcome = run_shell("sh " + dir.File("hangup.sh") + " '" GATEWAY_PROGRAM "' " +
                                    dir.File("out.txt"));
  EXPECT_EQ(outcome.status, 0) << outcome.output;
  const std::size_t hangup = outcome.output.find("SIGHUP ignored: ");
  ASSERT_NE(hangup, std::string::npos) << outcome.output;
  EXPECT_NE(outcome.output.find("published", hangup), std::string::npos) << outcome.output;
  EXPECT_NE(outcome.output.find("gateway stopped: terminated", hangup), std::string::npos)
      << outcome.output;
}

// A signal while the gateway sets up (its record being a FIFO nobody reads,
// it waits in opening it) or one it does not handle still takes the
// simulator's link away.
TEST(GatewayProgram, SimulateRemovesItsLinkWhenStoppedBySignal) {
  gwtest::TempDir dir;
  const std::string fifo = dir.File("record.fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string out = dir.File("out.txt");
  for (const std::string signal : {"TERM", "INT", "HUP"}) {
    const Outcome outcome = run_shell(
        std::string(GATEWAY_PROGRAM) + " --simulate --record " + fifo + " > " + out +
        " 2>&1 & pid=$!; for i in $(seq 400); do grep -q 'simulator serving on' " + out +
        " && break; sleep 0.05; done; kill -" + signal + " $pid; wait $pid; echo $pid");
    const std::string pid = outcome.output.substr(0, outcome.output.find('\n'));
    const auto link = std::filesystem::temp_directory_path() / ("qmr4100-gateway-sim-" + pid);
    EXPECT_FALSE(std::filesystem::is_symlink(link)) << "SIG" << signal << ": " << link;
    std::filesystem::remove(link);
  }
}

struct UnsoundCache {
  const char* name;      // under the test's directory
  std::string contents;  // written to `name`, or to a cache file inside it when it ends in "/"
  const char* message;
};

void PrintTo(const UnsoundCache& row, std::ostream* out) { *out << row.name; }

std::string pseudo_random(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 151 + 7);
  return bytes;
}

// Each refused with a non-zero exit and a message naming the file.
const UnsoundCache kUnsoundCaches[] = {
    {"random.bin", pseudo_random(895), "random.bin: not a cache file: no format marker"},
    {"short.snapshot", std::string(10, '\0'), "short.snapshot: 10 bytes, a cache file has 915"},
    {"missing.snapshot", "", "missing.snapshot: cannot open: No such file or directory"},
    {"empty/", "", "empty: holds no cache files"},
    {"damaged/", pseudo_random(915), "varnok_qmr4100-1000.snapshot: not a cache file"},
};

class ShowCache : public testing::TestWithParam<UnsoundCache> {};

TEST_P(ShowCache, RefusesWhatIsNoSoundCacheFile) {
  gwtest::TempDir dir;
  const UnsoundCache& row = GetParam();
  std::string path = dir.File(row.name);
  if (path.back() == '/') {
    path.pop_back();
    std::filesystem::create_directory(path);
    if (!row.contents.empty())
      std::ofstream(path + "/varnok_qmr4100-1000.snapshot", std::ios::binary) << row.contents;
  } else if (!row.contents.empty()) {
    std::ofstream(path, std::ios::binary) << row.contents;
  }
  const Outcome outcome = run_gateway("--show-cache " + path);
  EXPECT_EQ(outcome.status, 2) << outcome.output;
  EXPECT_NE(outcome.output.find(row.message), std::string::npos) << outcome.output;
}

INSTANTIATE_TEST_SUITE_P(Table, ShowCache, testing::ValuesIn(kUnsoundCaches));

}  // namespace

namespace {

TEST(GatewayProgram, DriverLinesReachTheConsoleOnlyWhenAsked) {
  const Outcome quiet = run_gateway("--simulate --cycles 1");
  const Outcome verbose = run_gateway("--simulate --cycles 1 -v");
  ASSERT_EQ(quiet.status, 0) << quiet.output;
  ASSERT_EQ(verbose.status, 0) << verbose.output;
  EXPECT_EQ(quiet.output.find("VARNOK_QMR4100"), std::string::npos) << quiet.output;
  EXPECT_NE(verbose.output.find("VARNOK_QMR4100 RoundDone\n"), std::string::npos)
      << verbose.output;
  EXPECT_NE(quiet.output.find("cycle 1 published"), std::string::npos) << quiet.output;
}

}  // namespace
