// qmr4100ctl as an operator and a monitoring system run it, against a real
// gateway polling a simulator on one line: device 1000 with module 2 in
// fault and module 3 without communication, device 1001 without trouble,
// device 1002 at an address nobody answers (offline).
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fmt/format.h>
#include <json/reader.h>
#include <json/writer.h>

namespace fs = std::filesystem;

namespace {

struct Outcome {
  int status;
  std::string output;  // standard output and error together
};

Outcome run_shell(const std::string& command) {
  FILE* pipe = popen(("timeout 60 " + command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return {-1, "popen failed"};
  std::string output;
  char buffer[4096];
  while (std::size_t count = fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, count);
  const int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

Json::Value json_of(const std::string& text) {
  Json::Value value;
  std::string errors;
  const std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
  reader->parse(text.data(), text.data() + text.size(), &value, &errors);
  return value;
}

std::string read_file(const fs::path& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

template <class Condition>
bool wait_for(Condition condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return true;
}

// A program started through the shell, its output in `log`; stopped by its pid.
class Process {
 public:
  Process(const std::string& command, const fs::path& log) {
    m_pid = fork();
    if (m_pid == 0) {
      const std::string line = "exec " + command + " > '" + log.string() + "' 2>&1";
      execl("/bin/sh", "sh", "-c", line.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
  }
  ~Process() {
    kill(m_pid, SIGTERM);
    for (int i = 0; i < 100; ++i) {
      if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    kill(m_pid, SIGKILL);
    waitpid(m_pid, nullptr, 0);
  }
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

 private:
  pid_t m_pid;
};

// A loopback port nothing listens on (taken by the system, then let go).
unsigned short closed_port() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
}

std::string scenarios() {
  const Json::Value simulator = json_of(run_shell(SIM_PROGRAM " --print-default").output);
  Json::Value faulty = simulator;
  faulty["changes"] = Json::arrayValue;
  faulty["modules"][1]["status"] = 1;    // fault: a major alarm point
  faulty["modules"][2]["status"] = 254;  // no communication
  Json::Value quiet = simulator;
  quiet["changes"] = Json::arrayValue;
  quiet["address"] = 2;
  Json::Value list(Json::arrayValue);
  list.append(faulty);
  list.append(quiet);
  return Json::writeString(Json::StreamWriterBuilder(), list);
}

class LiveGateway {
 public:
  LiveGateway() : m_dir(make_dir()) {
    std::ofstream(m_dir / "systems.json") << scenarios();
    m_simulator.emplace(fmt::format(SIM_PROGRAM " --link '{}' --scenario '{}'",
                                    (m_dir / "bus").string(), (m_dir / "systems.json").string()),
                        m_dir / "sim.log");
    const std::string bus = (m_dir / "bus").string();
    std::ofstream(m_dir / "gw.json") << fmt::format(
        R"({{"devices": [{{"port": "{0}", "address": 1, "data_id": 1000, "name": "Site A"}},
                         {{"port": "{0}", "address": 2, "data_id": 1001}},
                         {{"port": "{0}", "address": 3, "data_id": 1002}}],
            "interval": 1, "timeout": 0.3,
            "fields": {{"system_value": {{"label": "bus voltage", "unit": "V"}}}}}})",
        bus);
    EXPECT_TRUE(wait_for([&] { return fs::exists(bus); })) << read_file(m_dir / "sim.log");
    m_gateway.emplace(GATEWAY_PROGRAM " --config '" + (m_dir / "gw.json").string() +
                          "' --http 127.0.0.1:0",
                      m_dir / "gateway.log");
    EXPECT_TRUE(wait_for([&] { return !Url().empty(); })) << read_file(m_dir / "gateway.log");
  }
  ~LiveGateway() {
    m_gateway.reset();
    m_simulator.reset();
    fs::remove_all(m_dir);
  }

  // From the gateway's console line "live page on http://127.0.0.1:PORT/".
  std::string Url() const {
    const std::string log = read_file(m_dir / "gateway.log");
    const std::string marker = "live page on ";
    const std::size_t at = log.find(marker);
    const std::size_t end = log.find("/\n", at);
    if (at == std::string::npos || end == std::string::npos) return "";
    return log.substr(at + marker.size(), end - at - marker.size());
  }

 private:
  static fs::path make_dir() {
    std::string pattern = (fs::temp_directory_path() / "qmr4100ctl-test.XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    return pattern;
  }

  fs::path m_dir;
  std::optional<Process> m_simulator;
  std::optional<Process> m_gateway;
};

class CtlProgram : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_gateway = new LiveGateway();
    s_url = s_gateway->Url();
    // Both answering devices published twice, the alarms raised, the silent one offline.
    const bool ready = wait_for([] {
      const Json::Value list = json_of(Ctl("devices --json").output);
      const Json::Value faulty = json_of(Ctl("show 1000 --json").output);
      return list.size() == 3 && list[0]["counters"]["published"].asUInt() >= 2 &&
             list[1]["counters"]["published"].asUInt() >= 2 && list[2]["health"] == "offline" &&
             faulty["alarms"].size() == 2;
    });
    ASSERT_TRUE(ready) << Ctl("devices").output;
  }
  static void TearDownTestSuite() { delete s_gateway; }

  static Outcome Ctl(const std::string& arguments) {
    return run_shell(fmt::format(CTL_PROGRAM " --url {} {}", s_url, arguments));
  }

  static LiveGateway* s_gateway;
  static std::string s_url;
};
LiveGateway* CtlProgram::s_gateway = nullptr;
std::string CtlProgram::s_url;

void expect_has(const Outcome& outcome, std::initializer_list<const char*> parts) {
  for (const char* part : parts)
    EXPECT_NE(outcome.output.find(part), std::string::npos) << part << " in\n" << outcome.output;
}

TEST_F(CtlProgram, TablesShowDevicesViewsAlarmsAndHistory) {
  const Outcome devices = Ctl("devices");
  EXPECT_EQ(devices.status, 0);
  expect_has(devices, {"DATA ID", "Site A", "device 1001", "online", "offline",
                       "no publication in 3 cycles"});

  const Outcome show = Ctl("show 1000");
  EXPECT_EQ(show.status, 0);
  expect_has(show, {"device 1000 (Site A): online", "bus voltage", "53.5 V", "fault",
                    "no communication", "第2整流模块整流模块故障告警"});

  const Outcome history = Ctl("history 1001 --since 10m");
  EXPECT_EQ(history.status, 0);
  expect_has(history, {"TIME", "bus voltage", "module 4", "12.7"});

  // The SINCE column starts at the same terminal column on every line,
  // whatever the width of the Chinese names before it.
  const Outcome alarms = Ctl("alarms");
  EXPECT_EQ(alarms.status, 0);
  std::istringstream lines(alarms.output);
  std::set<std::size_t> starts;
  for (std::string line; std::getline(lines, line);) {
    const std::size_t at = line.find(line.rfind("SINCE") != std::string::npos ? "SINCE" : "20");
    std::size_t columns = 0;
    for (std::size_t i = 0; i < at; ++i)
      if ((line[i] & 0xC0) != 0x80) columns += static_cast<unsigned char>(line[i]) >= 0xE0 ? 2 : 1;
    starts.insert(columns);
  }
  EXPECT_EQ(starts.size(), 1u) << alarms.output;
}

TEST_F(CtlProgram, JsonIsTheApisOwn) {
  const Json::Value devices = json_of(Ctl("devices --json").output);
  ASSERT_EQ(devices.size(), 3u);
  EXPECT_EQ(devices[0]["name"], "Site A");
  EXPECT_EQ(devices[0]["interval"], 1.0);

  const Json::Value show = json_of(Ctl("show 1000 --json").output);
  EXPECT_EQ(show["view"]["labels"]["system_value"]["unit"], "V");
  EXPECT_EQ(json_of(Ctl("alarms 1000 --json").output), show["alarms"]);
  const Json::Value every = json_of(Ctl("alarms --json").output);
  ASSERT_EQ(every.size(), 3u);
  EXPECT_EQ(every[0]["alarms"], show["alarms"]);
  EXPECT_EQ(every[1]["alarms"].size(), 0u);

  const Json::Value whole = json_of(Ctl("history 1000 --json").output);
  const Json::Value recent = json_of(Ctl("history 1000 --json --since 1500ms").output);
  ASSERT_GE(whole["time"].size(), 2u);
  EXPECT_LT(recent["time"].size(), whole["time"].size());
  EXPECT_EQ(recent["modules"][0].size(), recent["time"].size());
}

struct CheckRun {
  const char* arguments;  // "{closed}" stands for a URL nobody answers at
  int status;
  const char* text;
};

void PrintTo(const CheckRun& row, std::ostream* out) { *out << row.arguments; }

const CheckRun kRuns[] = {
    {"check 1001", 0, "QMR4100 OK - device 1001 online, no active alarm point | "},
    {"check 1000 --warning 5 --critical 10", 0, "QMR4100 OK - "},
    {"check 1001 --max-age 0s", 1, "QMR4100 WARNING - device 1001: last publication"},
    {"check 1000 --warning 0", 1, "2 alarm points active (warning threshold 0)"},
    {"check 1000", 2, "QMR4100 CRITICAL - device 1000 (Site A): 2 alarm points active: "
                      "第2整流模块整流模块故障告警 (major)"},
    {"check 1002", 2, "QMR4100 CRITICAL - device 1002: offline"},
    {"check", 2, "'devices_offline'=1;;;"},
    {"check 9999", 3, "QMR4100 UNKNOWN - no device 9999 on the gateway"},
    {"check --max-age 5x", 3, "QMR4100 UNKNOWN - "},
    {"--url {closed} check", 3, "QMR4100 UNKNOWN - cannot reach the gateway"},
    {"--url {closed} devices", 2, "cannot reach the gateway: http://127.0.0.1:"},
    {"--url {closed} show 1000", 2, "Connection refused"},
    {"show 9999", 1, "no device 9999 on the gateway"},
    {"history 1000 --since soon", 1, "'soon' is not a duration"},
};

class CtlExit : public CtlProgram, public testing::WithParamInterface<CheckRun> {};

TEST_P(CtlExit, StatusAndFirstLine) {
  std::string arguments = GetParam().arguments;
  const std::string closed = "{closed}";
  const std::size_t at = arguments.find(closed);
  if (at != std::string::npos)
    arguments.replace(at, closed.size(), fmt::format("http://127.0.0.1:{}", closed_port()));
  const Outcome outcome =
      at == std::string::npos ? Ctl(arguments) : run_shell(CTL_PROGRAM " " + arguments);
  EXPECT_EQ(outcome.status, GetParam().status) << outcome.output;
  expect_has(outcome, {GetParam().text});
  if (arguments.find("check") != std::string::npos) {
    EXPECT_EQ(std::count(outcome.output.begin(), outcome.output.end(), '\n'), 1)
        << "one line: " << outcome.output;
  }
}

INSTANTIATE_TEST_SUITE_P(Table, CtlExit, testing::ValuesIn(kRuns), [](const auto& info) {
  std::string name;
  for (const char c : std::string(info.param.arguments)) {
    if (std::isalnum(static_cast<unsigned char>(c))) {
      name += c;
    } else if (!name.empty() && name.back() != '_') {
      name += '_';
    }
  }
  return name;
});

TEST(CtlHelp, NamesEverySubcommandAndTheCheckConventions) {
  const Outcome help = run_shell(CTL_PROGRAM " --help");
  EXPECT_EQ(help.status, 0);
  expect_has(help, {"devices", "show", "alarms", "history", "check", "--url", "--json",
                    "--since", "--max-age", "--warning", "--critical", "3 UNKNOWN"});
}

}  // namespace
