// The program as a user runs it.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

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
       {"--plugin", "--port", "--address", "--data-id", "--config", "--interval", "--timeout",
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
