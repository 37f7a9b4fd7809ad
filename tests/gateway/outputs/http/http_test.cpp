// The gateway's HTTP server against a gateway polling the simulator: the
// metrics as Prometheus reads them, the JSON API, the event stream, the
// methods and paths it refuses, and its limits.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <regex>
#include <set>
#include <thread>

#include <boost/asio/connect.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/streambuf.hpp>
#include <boost/asio/write.hpp>
#include <json/reader.h>

#include "http_client.h"
#include "outputs/http/http_output.h"
#include "qmr4100/sim/pty_server.h"
#include "support.h"

namespace gw = qmr4100::gateway;
namespace sim = qmr4100::sim;
namespace http = boost::beast::http;
namespace asio = boost::asio;

namespace {

constexpr unsigned int kDataId = 1000;

// Module 2 in fault and module 3 without communication from the first cycle on.
sim::Scenario scenario() {
  sim::Scenario s = sim::default_scenario();
  s.changes.clear();
  s.modules.at(1).status = 0x01;
  s.modules.at(2).status = 0xFE;
  return s;
}

Json::Value json_of(const std::string& text) {
  Json::Value value;
  std::string errors;
  const std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
  EXPECT_TRUE(reader->parse(text.data(), text.data() + text.size(), &value, &errors)) << errors;
  return value;
}

// A gateway on the simulator with its HTTP server on a free loopback port,
// running on its own thread until the test ends.
class LiveGateway {
 public:
  explicit LiveGateway(gw::HttpLimits limits = {})
      : m_server(scenario(), {}, {}),
        m_gateway(gwtest::quick_options(m_server.path(), m_dir.File("r.jsonl"), 0)),
        m_http(gw::HttpListen{"127.0.0.1", 0}, limits) {
    m_gateway.AddOutput(m_http, {});
    m_thread = std::thread([this] { m_gateway.Run(); });
  }
  ~LiveGateway() {
    m_gateway.Stop();
    m_thread.join();
  }
  unsigned short Port() const { return m_http.Server().Port(); }
  const gw::HttpServer& Server() const { return m_http.Server(); }
  // Waits for `count` publications; the run's deadline bounds the wait.
  Json::Value AfterPublications(unsigned count) const {
    for (;;) {
      const gwtest::Fetched reply = gwtest::get(Port(), "/api/v1/devices/1000");
      // Connections just closed may still count against the cap.
      if (reply.status != 200) continue;
      const Json::Value device = json_of(reply.body);
      if (device["counters"]["published"].asUInt() >= count && !device["alarms"].empty())
        return device;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }

 private:
  gwtest::TempDir m_dir;
  sim::PtyServer m_server;
  gw::Gateway m_gateway;
  gw::HttpOutput m_http;
  std::thread m_thread;
};

struct Sample {
  std::string name;
  std::map<std::string, std::string> labels;
  std::string value;
};

struct Exposition {
  std::map<std::string, std::string> help;
  std::map<std::string, std::string> type;
  std::vector<Sample> samples;
};

// The text format's lines: "# HELP name text", "# TYPE name type", "name{a="b",...} value".
Exposition parse_exposition(const std::string& text) {
  static const std::regex help(R"(# HELP (\w+) (.+))");
  static const std::regex type(R"(# TYPE (\w+) (\w+))");
  static const std::regex sample(R"((\w+)(?:\{(.*)\})? (\S+))");
  static const std::regex label(R"re((\w+)="((?:[^"\\]|\\.)*)",?)re");
  Exposition out;
  std::istringstream lines(text);
  std::smatch match;
  for (std::string line; std::getline(lines, line);) {
    if (std::regex_match(line, match, help)) {
      out.help[match[1]] = match[2];
    } else if (std::regex_match(line, match, type)) {
      out.type[match[1]] = match[2];
    } else {
      EXPECT_TRUE(std::regex_match(line, match, sample)) << line;
      Sample parsed{match[1], {}, match[3]};
      const std::string labels = match[2];
      for (std::sregex_iterator it(labels.begin(), labels.end(), label), end; it != end; ++it)
        parsed.labels[(*it)[1]] = (*it)[2];
      out.samples.push_back(parsed);
    }
  }
  return out;
}

const Sample* find_sample(const Exposition& exposition, const std::string& name,
                          const std::map<std::string, std::string>& labels) {
  for (const Sample& sample : exposition.samples)
    if (sample.name == name && sample.labels == labels) return &sample;
  return nullptr;
}

class HttpServerTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_gateway = new LiveGateway();
    s_device = new Json::Value(s_gateway->AfterPublications(2));
  }
  static void TearDownTestSuite() {
    delete s_device;
    delete s_gateway;
  }
  static unsigned short Port() { return s_gateway->Port(); }

  static LiveGateway* s_gateway;
  static Json::Value* s_device;
};
LiveGateway* HttpServerTest::s_gateway = nullptr;
Json::Value* HttpServerTest::s_device = nullptr;

struct Family {
  const char* name;
  const char* type;
  std::set<std::string> labels;
};

const Family kFamilies[] = {
    {"qmr4100_up", "gauge", {"data_id"}},
    {"qmr4100_device_info", "gauge", {"data_id", "name", "port", "address"}},
    {"qmr4100_poll_interval_seconds", "gauge", {"data_id"}},
    {"qmr4100_cycles_total", "counter", {"data_id", "result"}},
    {"qmr4100_retries_total", "counter", {"data_id"}},
    {"qmr4100_error_replies_total", "counter", {"data_id", "code"}},
    {"qmr4100_last_publication_timestamp_seconds", "gauge", {"data_id"}},
    {"qmr4100_system_value", "gauge", {"data_id"}},
    {"qmr4100_module_value", "gauge", {"data_id", "module"}},
    {"qmr4100_module_status", "gauge", {"data_id", "module"}},
    {"qmr4100_module_fault", "gauge", {"data_id", "module"}},
    {"qmr4100_module_comm_failure", "gauge", {"data_id", "module"}},
    {"qmr4100_values_a2", "gauge", {"data_id", "index"}},
    {"qmr4100_value_95", "gauge", {"data_id"}},
    {"qmr4100_alarms_active", "gauge", {"data_id"}},
    {"qmr4100_alarm_active", "gauge", {"data_id", "id", "code", "seq", "name", "desc"}},
    {"qmr4100_port_up", "gauge", {"port"}},
    {"qmr4100_cycle_duration_seconds", "histogram", {}},
};

std::string family_of(const std::string& sample_name) {
  for (const Family& family : kFamilies) {
    if (sample_name == family.name) return family.name;
    if (std::string(family.type) == "histogram")
      for (const char* suffix : {"_bucket", "_sum", "_count"})
        if (sample_name == family.name + std::string(suffix)) return family.name;
  }
  return "";
}

TEST_F(HttpServerTest, MetricsDeclareEveryFamilyAndLabelEverySampleByIt) {
  const gwtest::Fetched reply = gwtest::get(Port(), "/metrics");
  ASSERT_EQ(reply.status, 200u);
  EXPECT_EQ(reply.fields.at("content-type"), "text/plain; version=0.0.4; charset=utf-8");
  const Exposition metrics = parse_exposition(reply.body);
  for (const Family& family : kFamilies) {
    EXPECT_EQ(metrics.type.count(family.name), 1u) << family.name;
    EXPECT_EQ(metrics.type.at(family.name), family.type) << family.name;
    EXPECT_FALSE(metrics.help.at(family.name).empty()) << family.name;
  }
  EXPECT_EQ(metrics.type.size(), std::size(kFamilies));
  for (const Sample& sample : metrics.samples) {
    const std::string family = family_of(sample.name);
    ASSERT_FALSE(family.empty()) << sample.name;
    std::set<std::string> names;
    for (const auto& [name, value] : sample.labels) names.insert(name);
    names.erase("le");
    for (const Family& f : kFamilies)
      if (family == f.name) {
        EXPECT_EQ(names, f.labels) << sample.name;
      }
  }
}

TEST_F(HttpServerTest, MetricsShowTheDeviceAsThePageDoes) {
  const Exposition metrics = parse_exposition(gwtest::get(Port(), "/metrics").body);
  const auto value = [&](const std::string& name, std::map<std::string, std::string> labels) {
    labels.emplace("data_id", "1000");
    const Sample* sample = find_sample(metrics, name, labels);
    return sample ? sample->value : "absent";
  };
  EXPECT_EQ(value("qmr4100_up", {}), "1");
  EXPECT_EQ(value("qmr4100_device_info", {{"name", "device 1000"},
                                          {"port", (*s_device)["port"].asString()},
                                          {"address", "1"}}),
            "1");
  EXPECT_EQ(value("qmr4100_module_value", {{"module", "1"}}), "12.5");
  EXPECT_EQ(value("qmr4100_module_fault", {{"module", "2"}}), "1");
  EXPECT_EQ(value("qmr4100_module_comm_failure", {{"module", "3"}}), "1");
  EXPECT_EQ(value("qmr4100_module_status", {{"module", "3"}}), "254");
  EXPECT_EQ(value("qmr4100_module_value", {{"module", "3"}}), "absent");
  EXPECT_EQ(value("qmr4100_system_value", {}), "53.5");
  EXPECT_EQ(value("qmr4100_values_a2", {{"index", "0"}}), "220.1");
  EXPECT_EQ(value("qmr4100_cycles_total", {{"result", "failed"}}), "0");
  // Every active point, and only those, has a sample of value 1.
  const Json::Value& alarms = (*s_device)["alarms"];
  for (const Json::Value& alarm : alarms) {
    EXPECT_EQ(value("qmr4100_alarm_active", {{"id", alarm["id"].asString()},
                                             {"code", alarm["code"].asString()},
                                             {"seq", alarm["seq"].asString()},
                                             {"name", alarm["name"].asString()},
                                             {"desc", alarm["desc"].asString()}}),
              "1");
  }
  EXPECT_EQ(value("qmr4100_alarms_active", {}), std::to_string(alarms.size()));
  const auto count = find_sample(metrics, "qmr4100_cycle_duration_seconds_count", {});
  ASSERT_NE(count, nullptr);
  EXPECT_GE(std::stoi(count->value), 2);
  EXPECT_EQ(find_sample(metrics, "qmr4100_cycle_duration_seconds_bucket", {{"le", "+Inf"}})->value,
            count->value);
}

TEST_F(HttpServerTest, DeviceDetailCarriesTheActiveAlarmsWithTheirChineseTexts) {
  const Json::Value& device = *s_device;
  EXPECT_EQ(device["health"], "online");
  EXPECT_EQ(device["view"]["modules"][1]["fault"], true);
  EXPECT_TRUE(device["view"]["modules"][2]["value"].isNull());
  std::set<std::string> names;
  for (const Json::Value& alarm : device["alarms"]) {
    names.insert(alarm["name"].asString());
    EXPECT_FALSE(alarm["since"].asString().empty());
  }
  EXPECT_EQ(names, (std::set<std::string>{"第2整流模块整流模块故障告警",
                                          "第3整流模块整流模块通信状态告警"}));

  const Json::Value list = json_of(gwtest::get(Port(), "/api/v1/devices").body);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0]["data_id"].asUInt(), kDataId);

  const Json::Value history = json_of(gwtest::get(Port(), "/api/v1/devices/1000/history").body);
  EXPECT_GE(history["time"].size(), 2u);
  EXPECT_EQ(history["system_value"].size(), history["time"].size());
  ASSERT_EQ(history["modules"].size(), 4u);
  EXPECT_TRUE(history["modules"][2][0].isNull());
}

struct Refusal {
  http::verb method;
  const char* target;
  unsigned status;
};

TEST_F(HttpServerTest, AnswersOnlyGetAndHeadOnKnownPaths) {
  const Refusal cases[] = {
      {http::verb::get, "/", 200},
      {http::verb::get, "/uPlot.min.js", 200},
      {http::verb::get, "/healthz", 200},
      {http::verb::get, "/metrics?x=1", 200},
      {http::verb::get, "/nowhere", 404},
      {http::verb::get, "/../../etc/passwd", 404},
      {http::verb::get, "/gateway/web/app.js", 404},
      {http::verb::get, "/api/v1/devices/999", 404},
      {http::verb::get, "/api/v1/devices/abc", 404},
      {http::verb::get, "/api/v1/devices/99999999999/history", 404},
      {http::verb::post, "/metrics", 405},
      {http::verb::put, "/", 405},
      {http::verb::delete_, "/api/v1/devices/1000", 405},
      {http::verb::options, "/", 405},
  };
  for (const Refusal& c : cases) {
    const gwtest::Fetched reply = gwtest::fetch(Port(), c.method, c.target);
    EXPECT_EQ(reply.status, c.status) << http::to_string(c.method) << " " << c.target;
    if (c.status == 405) {
      EXPECT_EQ(reply.Field("allow"), "GET, HEAD");
    }
    EXPECT_EQ(reply.fields.count("access-control-allow-origin"), 0u);
    EXPECT_NE(reply.Field("content-security-policy").find("script-src 'self'"), std::string::npos);
  }
}

TEST_F(HttpServerTest, HeadHasTheHeadersOfGetWithoutTheBody) {
  for (const char* target : {"/", "/api/v1/devices", "/healthz"}) {
    const gwtest::Fetched head = gwtest::fetch(Port(), http::verb::head, target);
    const gwtest::Fetched full = gwtest::get(Port(), target);
    EXPECT_EQ(head.status, 200u) << target;
    EXPECT_TRUE(head.body.empty()) << target;
    EXPECT_EQ(head.Field("content-type"), full.Field("content-type")) << target;
    if (std::string(target) != "/api/v1/devices") {  // its counters move on
      EXPECT_EQ(head.Field("content-length"), std::to_string(full.body.size())) << target;
    }
  }
}

TEST_F(HttpServerTest, OversizedRequestsAreRefused) {
  EXPECT_EQ(gwtest::fetch(Port(), http::verb::get, "/", "", 16 * 1024).status, 431u);
  EXPECT_EQ(gwtest::fetch(Port(), http::verb::get, "/", std::string(4096, 'b')).status, 413u);
}

TEST_F(HttpServerTest, EventStreamSendsEachPublication) {
  asio::io_context io;
  asio::ip::tcp::socket socket(io);
  socket.connect({asio::ip::make_address("127.0.0.1"), Port()});
  asio::write(socket, asio::buffer(std::string("GET /api/v1/events HTTP/1.1\r\nHost: x\r\n\r\n")));
  asio::streambuf received;
  const auto text = [&received](std::size_t length) {
    const std::string all(asio::buffers_begin(received.data()), asio::buffers_end(received.data()));
    received.consume(length);
    return all.substr(0, length);
  };
  const std::string header = text(asio::read_until(socket, received, "event: published\n"));
  EXPECT_EQ(header.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
  EXPECT_NE(header.find("Content-Type: text/event-stream"), std::string::npos);
  const std::string data = text(asio::read_until(socket, received, "\n\n"));
  ASSERT_EQ(data.rfind("data: ", 0), 0u);
  const Json::Value published = json_of(data.substr(6));
  EXPECT_EQ(published["device"]["data_id"].asUInt(), kDataId);
  EXPECT_EQ(published["sample"]["time"].size(), 1u);
}

TEST(HttpServerLimits, FloodsAndSurplusConnectionsLeavePollingUntouched) {
  gw::HttpLimits limits;
  limits.connections = 3;
  limits.subscribers = 1;
  LiveGateway gateway(limits);
  gateway.AfterPublications(1);

  asio::io_context io;
  std::vector<asio::ip::tcp::socket> idle;
  for (int i = 0; i < 3; ++i) {
    idle.emplace_back(io).connect({asio::ip::make_address("127.0.0.1"), gateway.Port()});
  }
  EXPECT_EQ(gwtest::get(gateway.Port(), "/healthz").status, 0u) << "beyond the connection cap";
  idle.clear();
  // The connections just closed may still count against the cap for a moment.
  while (gwtest::get(gateway.Port(), "/healthz").status == 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));

  asio::ip::tcp::socket stream(io);
  stream.connect({asio::ip::make_address("127.0.0.1"), gateway.Port()});
  asio::write(stream, asio::buffer(std::string("GET /api/v1/events HTTP/1.1\r\nHost: x\r\n\r\n")));
  asio::streambuf received;
  asio::read_until(stream, received, "\r\n\r\n");
  gwtest::Fetched second;
  // The connections just closed may still count against the cap for a moment.
  while ((second = gwtest::get(gateway.Port(), "/api/v1/events")).status == 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(second.status, 503u) << "beyond the subscriber cap";
  stream.close();

  for (int i = 0; i < 50; ++i)
    gwtest::fetch(gateway.Port(), http::verb::post, "/metrics", std::string(8192, 'z'));
  const Json::Value before = gateway.AfterPublications(0);
  const Json::Value after = gateway.AfterPublications(before["counters"]["published"].asUInt() + 3);
  EXPECT_EQ(after["counters"]["abandoned"], before["counters"]["abandoned"]);
  EXPECT_EQ(after["counters"]["failed"], 0);
  EXPECT_EQ(after["health"], "online");
}

}  // namespace

namespace {

asio::ip::tcp::socket connected(asio::io_context& io, unsigned short port) {
  asio::ip::tcp::socket socket(io);
  socket.connect({asio::ip::make_address("127.0.0.1"), port});
  return socket;
}

// Whether the server closes `socket` (sending nothing more) within `limit`.
bool closed_by_server(asio::ip::tcp::socket& socket, std::chrono::seconds limit) {
  const timeval timeout{static_cast<time_t>(limit.count()), 0};
  setsockopt(socket.native_handle(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  char byte;
  return ::recv(socket.native_handle(), &byte, 1, 0) == 0;
}

TEST(HttpServerLimits, OneClientsIdleConnectionsLeaveRoomForOthers) {
  gw::HttpLimits limits;
  limits.connections = 8;
  limits.per_client = 4;
  LiveGateway gateway(limits);
  gateway.AfterPublications(1);
  asio::io_context io;
  std::vector<asio::ip::tcp::socket> idle;
  for (std::size_t i = 0; i < limits.connections; ++i) idle.push_back(connected(io, gateway.Port()));
  // Those beyond the client's share are closed at once.
  EXPECT_TRUE(closed_by_server(idle.back(), std::chrono::seconds(30)));
  const gwtest::Fetched other = gwtest::get_from("127.0.0.2", gateway.Port(), "/healthz");
  EXPECT_EQ(other.status, 200u) << "another client is still answered";
}

TEST(HttpServerLimits, AHeaderThatNeverEndsHoldsItsConnectionOnlyTheHeaderTimeout) {
  gw::HttpLimits limits;
  limits.header_timeout = std::chrono::milliseconds(500);
  limits.read_timeout = std::chrono::minutes(5);
  LiveGateway gateway(limits);
  asio::io_context io;
  asio::ip::tcp::socket slow = connected(io, gateway.Port());
  asio::write(slow, asio::buffer(std::string("GET / HTTP/1.1\r\nHost: x\r\n")));
  EXPECT_TRUE(closed_by_server(slow, std::chrono::seconds(60)));
  EXPECT_EQ(gwtest::get(gateway.Port(), "/healthz").status, 200u);
}

TEST(HttpServerLimits, HeavyRepliesBeyondTheLimitAreRefusedForNow) {
  gw::HttpLimits limits;
  limits.heavy_replies = 0;
  LiveGateway gateway(limits);
  for (const char* target : {"/metrics", "/api/v1/devices/1000/history"}) {
    const gwtest::Fetched busy = gwtest::get(gateway.Port(), target);
    EXPECT_EQ(busy.status, 503u) << target;
    EXPECT_EQ(busy.Field("retry-after"), "1") << target;
  }
  EXPECT_EQ(gwtest::get(gateway.Port(), "/api/v1/devices/1000").status, 200u);
}

// Every descriptor below a lowered limit taken but one, which a client takes:
// the server cannot accept that client's connection until some are free.
class NoDescriptorLeft {
 public:
  NoDescriptorLeft() {
    getrlimit(RLIMIT_NOFILE, &m_saved);
    const int lowest = ::open("/dev/null", O_RDONLY);
    rlimit lowered = m_saved;
    lowered.rlim_cur = static_cast<rlim_t>(lowest + 16);
    setrlimit(RLIMIT_NOFILE, &lowered);
    m_taken.push_back(lowest);
    for (int fd; (fd = ::dup(lowest)) >= 0;) m_taken.push_back(fd);
    ::close(m_taken.back());
    m_taken.pop_back();
  }
  ~NoDescriptorLeft() {
    Free();
    setrlimit(RLIMIT_NOFILE, &m_saved);
  }
  void Free() {
    for (const int fd : m_taken) ::close(fd);
    m_taken.clear();
  }

 private:
  rlimit m_saved{};
  std::vector<int> m_taken;
};

TEST(HttpServerLimits, AcceptWaitsWhileNoDescriptorIsLeft) {
  LiveGateway gateway;
  gateway.AfterPublications(1);
  NoDescriptorLeft exhausted;
  const int client = ::socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(client, 0);
  sockaddr_in server{};
  server.sin_family = AF_INET;
  server.sin_port = htons(gateway.Port());
  server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::connect(client, reinterpret_cast<const sockaddr*>(&server), sizeof server), 0);
  // The system completes the connection; the server cannot take it.
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (gateway.Server().AcceptFailures() == 0 && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  const std::uint64_t failures = gateway.Server().AcceptFailures();
  EXPECT_GE(failures, 1u);
  EXPECT_LE(failures, 12u) << "retried at once instead of after a pause";

  exhausted.Free();
  const std::string request = "GET /healthz HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
  ASSERT_EQ(::send(client, request.data(), request.size(), 0), static_cast<ssize_t>(request.size()));
  std::string reply(64, '\0');
  const ssize_t got = ::recv(client, reply.data(), reply.size(), MSG_WAITALL);
  ::close(client);
  EXPECT_EQ(reply.substr(0, std::max<ssize_t>(got, 0)).rfind("HTTP/1.1 200", 0), 0u) << reply;
}

TEST(HistoryReplies, RepeatedRequestsShareOneDocumentUntilTheNextPublication) {
  gw::GatewayConfig config;
  config.devices = {{"/dev/ttyS0", 1, kDataId}};
  gw::StateModel model(config);
  gw::HistoryReplies histories(model);
  model.AddListener(histories);
  qmr4100::Block block{};
  block[qmr4100::layout::kModuleCount] = 2;
  model.Published(kDataId, block, {}, gw::WallClock::now());
  const auto first = histories.Text(kDataId);
  EXPECT_EQ(histories.Text(kDataId), first) << "built again without a publication";
  EXPECT_EQ(json_of(*first)["time"].size(), 1u);
  model.Published(kDataId, block, {}, gw::WallClock::now());
  const Json::Value after = json_of(*histories.Text(kDataId));
  EXPECT_EQ(after["time"].size(), 2u) << "the next publication's sample";
  EXPECT_EQ(after["modules"].size(), 2u);
  EXPECT_EQ(after["values_a2"].size(), qmr4100::layout::kValueCountA2);
}

}  // namespace
