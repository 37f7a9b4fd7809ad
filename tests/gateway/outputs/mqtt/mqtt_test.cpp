// The gateway publishing to a real mosquitto broker: what subscribers see of
// a run, and how the output copes with a broker that is away, restarts,
// refuses it or cannot be trusted.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

#include <json/reader.h>

#include "config/config.h"
#include "mqtt_broker.h"
#include "outputs/mqtt/mqtt_output.h"
#include "qmr4100/sim/pty_server.h"

namespace gw = qmr4100::gateway;
namespace sim = qmr4100::sim;

namespace {

Json::Value parse(const std::string& text) {
  Json::Value json;
  std::string errors;
  Json::CharReaderBuilder builder;
  const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  reader->parse(text.data(), text.data() + text.size(), &json, &errors);
  return json;
}

std::vector<Json::Value> events(const std::vector<gwtest::Received>& messages) {
  std::vector<Json::Value> found;
  for (const gwtest::Received& message : messages)
    if (message.topic == "qmr4100/1000/event") found.push_back(parse(message.payload));
  return found;
}

std::size_t count_events(const std::vector<gwtest::Received>& messages, const char* name) {
  std::size_t count = 0;
  for (const Json::Value& event : events(messages)) count += event["event"] == name;
  return count;
}

// A gateway polling the simulator on its own thread, with an MQTT output.
class MqttRun {
 public:
  MqttRun(const std::string& port, gw::MqttSettings settings, int cycles = 0) {
    gw::GatewayOptions options = gwtest::quick_options(port, "", cycles);
    options.deadline = 60;
    options.console_fd = -1;
    m_gateway.emplace(options);
    m_output.emplace(settings);
    m_gateway->AddOutput(*m_output, [this](const std::string& line) { said.Add(line); });
    m_thread = std::thread([this] { m_gateway->Run(); });
  }
  ~MqttRun() { Finish(); }

  void Finish() {
    if (!m_thread.joinable()) return;
    m_gateway->Stop();
    m_thread.join();
    m_output->Close();
  }
  std::uint64_t Published() const {
    return m_gateway->Model().Read(1000, [](const gw::DeviceState& d) {
      return d.Count().published;
    });
  }
  gw::Counters Counts() const {
    return m_gateway->Model().Read(1000, [](const gw::DeviceState& d) { return d.Count(); });
  }
  bool WaitForPublished(std::uint64_t cycles) const {
    for (int i = 0; i < 2000 && Published() < cycles; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return Published() >= cycles;
  }
  gw::MqttOutput& Output() { return *m_output; }

  gwtest::SaidLines said;

 private:
  std::optional<gw::Gateway> m_gateway;
  std::optional<gw::MqttOutput> m_output;
  std::thread m_thread;
};

gw::MqttSettings settings_for(const gwtest::Broker& broker) {
  gw::MqttSettings settings;
  settings.url = broker.Url();
  settings.client_id = "qmr4100-test";
  settings.ha_discovery = true;
  return settings;
}

TEST(Mqtt, SubscribersSeeStateAlarmsEventsAndDiscovery) {
  gwtest::Broker broker;
  gwtest::Subscriber subscriber(broker);
  sim::PtyServer server(sim::default_scenario(), {}, {});
  {
    MqttRun run(server.path(), settings_for(broker), 5);
    ASSERT_TRUE(run.WaitForPublished(5));
  }
  // Module 2 reports a fault in cycle 3 only: raised, then cleared.
  ASSERT_TRUE(subscriber.WaitFor([](const auto& messages) {
    return count_events(messages, "cleared") > 0 && messages.back().payload == "offline";
  }));
  const std::vector<gwtest::Received> messages = subscriber.Messages();
  std::map<std::string, std::string> last;
  for (const gwtest::Received& message : messages) last[message.topic] = message.payload;

  EXPECT_EQ(last["qmr4100/gateway/status"], "offline");
  EXPECT_EQ(last["qmr4100/1000/availability"], "offline") << "the clean stop says so";
  EXPECT_TRUE(std::any_of(messages.begin(), messages.end(), [](const gwtest::Received& m) {
    return m.topic == "qmr4100/1000/availability" && m.payload == "online";
  }));
  const Json::Value state = parse(last["qmr4100/1000/state"]);
  Json::Value snapshot;
  snapshot["bytes"] = state["block"];
  EXPECT_EQ(sim::compare_block(gwtest::block_of(snapshot), server.expected_block(5)),
            std::nullopt);
  EXPECT_EQ(parse(last["qmr4100/1000/alarms"]).size(), 0u) << "the fault cleared";

  const std::vector<Json::Value> published = events(messages);
  ASSERT_GE(published.size(), 3u);
  EXPECT_EQ(published[0]["event"], "online");
  std::vector<Json::Value> alarms;
  for (const Json::Value& event : published)
    if (event["event"] != "online") alarms.push_back(event);
  ASSERT_EQ(alarms.size(), 2u);
  EXPECT_EQ(alarms[0]["event"], "raised");
  EXPECT_EQ(alarms[1]["event"], "cleared");
  EXPECT_EQ(alarms[0]["desc"], alarms[1]["desc"]);
  for (const char* key : {"id", "code", "name", "desc", "seq", "time"})
    EXPECT_TRUE(alarms[0].isMember(key)) << key;

  const Json::Value fault = parse(
      last["homeassistant/binary_sensor/qmr4100_1000/module_4_fault/config"]);
  EXPECT_EQ(fault["unique_id"], "qmr4100_1000_module_4_fault");
  EXPECT_EQ(fault["device_class"], "problem");
  EXPECT_FALSE(fault.isMember("state_class")) << "not a number";
  for (const char* sensor : {"system_value", "active_alarms", "module_4_value"})
    EXPECT_EQ(parse(last[std::string("homeassistant/sensor/qmr4100_1000/") + sensor +
                         "/config"])["state_class"],
              "measurement")
        << sensor;
  EXPECT_EQ(fault["state_topic"], "qmr4100/1000/state");
  EXPECT_EQ(fault["availability"][1]["topic"], "qmr4100/1000/availability");
  EXPECT_EQ(last.count("homeassistant/sensor/qmr4100_1000/module_5_value/config"), 0u);
  // Offline after 3 cycles of at least the 0.2 s timeout, plus the last
  // timeout: 0.8 s, rounded up, and 10 s of margin.
  EXPECT_EQ(fault["expire_after"], 11);
  EXPECT_FALSE(parse(last["homeassistant/sensor/qmr4100_1000/active_alarms/config"])
                   .isMember("expire_after"))
      << "the alarms come only when they change";
  EXPECT_EQ(parse(last["homeassistant/sensor/qmr4100_1000/system_value/config"])["device"]["name"],
            "device 1000");
}

TEST(Mqtt, AvailabilityFollowsASilentDevice) {
  gwtest::Broker broker;
  gwtest::Subscriber subscriber(broker);
  sim::PtyServer server(sim::default_scenario(), {}, {});
  MqttRun run(server.path(), settings_for(broker));
  ASSERT_FALSE(subscriber.WaitForTopic("qmr4100/1000/availability", "online").empty());
  server.stop();
  ASSERT_FALSE(subscriber.WaitForTopic("qmr4100/1000/availability", "offline").empty());
  ASSERT_TRUE(subscriber.WaitFor([](const auto& m) { return count_events(m, "offline") == 1; }));
  for (const Json::Value& event : events(subscriber.Messages()))
    if (event["event"] == "offline") {
      EXPECT_FALSE(event["reason"].asString().empty());
    }
}

// Absent when the gateway starts, there a little later, then restarted.
TEST(Mqtt, BrokerAbsentThenRestartedLosesNoCycleAndGetsCurrentState) {
  gwtest::Broker broker({}, false);
  sim::PtyServer server(sim::default_scenario(), {}, {});
  MqttRun run(server.path(), settings_for(broker));
  ASSERT_TRUE(run.said.WaitFor("cannot connect"));
  ASSERT_TRUE(run.WaitForPublished(3)) << "polling goes on without the broker";

  broker.Start();
  {
    gwtest::Subscriber subscriber(broker);
    EXPECT_FALSE(subscriber.WaitForTopic("qmr4100/gateway/status", "online").empty());
    EXPECT_FALSE(subscriber.WaitForTopic("qmr4100/1000/state").empty());
  }
  EXPECT_EQ(run.said.Count("cannot connect"), 1u) << "said once";

  broker.Stop();
  ASSERT_TRUE(run.said.WaitFor("connection lost"));
  const std::uint64_t before = run.Published();
  ASSERT_TRUE(run.WaitForPublished(before + 3));
  broker.Start();
  gwtest::Subscriber subscriber(broker);
  // The restarted broker kept nothing: all of it comes from the gateway again.
  for (const char* topic : {"qmr4100/1000/state", "qmr4100/1000/alarms",
                            "homeassistant/sensor/qmr4100_1000/module_1_value/config"})
    EXPECT_FALSE(subscriber.WaitForTopic(topic).empty()) << topic;
  EXPECT_EQ(subscriber.WaitForTopic("qmr4100/1000/availability"), "online");
  const gw::Counters counts = run.Counts();
  EXPECT_EQ(counts.abandoned + counts.failed, 0u);
}

// Module 1 faulty in every other cycle: two events per two cycles.
sim::Scenario flapping_scenario(int cycles) {
  sim::Scenario scenario = sim::default_scenario();
  scenario.changes.clear();
  for (int cycle = 1; cycle <= cycles; cycle += 2) {
    sim::Change change;
    change.from = change.to = cycle;
    change.target = sim::Change::Target::ModuleStatus;
    change.module = 1;
    change.value = 1;
    scenario.changes.push_back(change);
  }
  return scenario;
}

TEST(Mqtt, EventsWaitInABoundedQueueWhileTheBrokerIsAway) {
  gwtest::Broker broker({}, false);
  sim::PtyServer server(flapping_scenario(20), {}, {});
  gw::MqttSettings settings = settings_for(broker);
  settings.queue_limit = 5;
  MqttRun run(server.path(), settings);
  ASSERT_TRUE(run.WaitForPublished(24));
  ASSERT_TRUE(run.said.WaitFor("dropping the oldest"));
  EXPECT_EQ(run.said.Count("dropping the oldest"), 1u);

  broker.Start();
  gwtest::Subscriber subscriber(broker);
  ASSERT_TRUE(run.said.WaitFor("events dropped while disconnected"));
  EXPECT_TRUE(subscriber.WaitFor([](const auto& m) { return events(m).size() >= 5; }));
  EXPECT_EQ(events(subscriber.Messages()).size(), 5u) << "the newest five, nothing more";
}

// A broker that keeps the connection but acknowledges nothing: what the
// library holds stays bounded while events wait in the queue, and they go
// out once the broker answers again.
TEST(Mqtt, ABrokerThatDoesNotAcknowledgeCostsBoundedMemory) {
  gwtest::Broker broker;
  sim::PtyServer server(flapping_scenario(1000), {}, {});
  gw::MqttSettings settings = settings_for(broker);
  settings.unacknowledged_limit = 10;
  MqttRun run(server.path(), settings);
  ASSERT_TRUE(run.said.WaitFor("connected to"));
  broker.Pause();
  ASSERT_TRUE(run.said.WaitFor("broker does not acknowledge"));
  ASSERT_TRUE(run.WaitForPublished(run.Published() + 20));
  EXPECT_LE(run.Output().Unacknowledged(), 10u);
  EXPECT_EQ(run.said.Count("broker does not acknowledge"), 1u) << "said once";
  broker.Resume();
  gwtest::Subscriber subscriber(broker);
  EXPECT_TRUE(subscriber.WaitFor([](const auto& m) { return !events(m).empty(); }))
      << "the held events go out";
}

TEST(Mqtt, LastWillMarksAKilledGatewayOffline) {
  gwtest::Broker broker;
  gwtest::Subscriber subscriber(broker);
  const pid_t gateway = fork();
  if (gateway == 0) {
    // Through the shell: a cross build's program starts under its emulator.
    const std::string command =
        "exec " GATEWAY_PROGRAM " --simulate --cycles 0 --mqtt " + broker.Url();
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  const bool online = !subscriber.WaitForTopic("qmr4100/gateway/status", "online").empty();
  kill(gateway, SIGKILL);
  waitpid(gateway, nullptr, 0);
  std::filesystem::remove(std::filesystem::temp_directory_path() /
                          ("qmr4100-gateway-sim-" + std::to_string(gateway)));
  ASSERT_TRUE(online);
  EXPECT_TRUE(subscriber.WaitFor([](const auto& messages) {
    return !messages.empty() && messages.back().topic == "qmr4100/gateway/status" &&
           messages.back().payload == "offline";
  }));
}

struct AccessCase {
  const char* name;
  gwtest::BrokerOptions broker;
  const char* password;  // written to the password file; "" for none
  bool credential;       // the password is the service's credential instead
  const char* ca;        // file of the broker's directory; "" for none
  const char* said;      // what the gateway tells the operator
};

void PrintTo(const AccessCase& row, std::ostream* out) { *out << row.name; }

const AccessCase kAccess[] = {
    {"right password", {true, false}, "right-password", false, "", "connected to"},
    {"wrong password", {true, false}, "wrong-password", false, "", "not authorised"},
    {"right password as credential", {true, false}, "right-password", true, "", "connected to"},
    {"trusted CA", {false, true}, "", false, "ca.crt", "connected to"},
    {"other CA", {false, true}, "", false, "other-ca.crt", "certificate verify failed"},
};

class MqttAccess : public testing::TestWithParam<AccessCase> {};

TEST_P(MqttAccess, BrokerAcceptsOrRefusesWithAClearMessage) {
  const AccessCase& row = GetParam();
  gwtest::Broker broker(row.broker);
  gwtest::TempDir dir;
  gw::MqttSettings settings = settings_for(broker);
  std::optional<gwtest::CredentialsDirectory> credentials;
  if (*row.password) {
    settings.user = "gateway";
    const std::string file = dir.File(row.credential ? "mqtt-password" : "password");
    std::ofstream(file) << row.password << "\n";
    std::filesystem::permissions(file, std::filesystem::perms::owner_read);  // no warning
    if (row.credential)
      credentials.emplace(dir.Path().string());
    else
      settings.password_file = file;
  }
  if (*row.ca) settings.ca_file = broker.File(row.ca);
  sim::PtyServer server(sim::default_scenario(), {}, {});
  MqttRun run(server.path(), settings);
  ASSERT_TRUE(run.said.WaitFor(row.said)) << testing::PrintToString(run.said.Lines());
  run.Finish();
  for (const std::string& line : run.said.Lines())
    EXPECT_EQ(line.find("password"), std::string::npos) << line;
}

INSTANTIATE_TEST_SUITE_P(Table, MqttAccess, testing::ValuesIn(kAccess),
                         [](const auto& info) {
                           std::string name = info.param.name;
                           for (char& c : name) if (c == ' ') c = '_';
                           return name;
                         });

}  // namespace

namespace {

struct UrlCase {
  std::string url;
  const char* host;  // nullptr: refused
  int port;
  bool tls;
};

const std::string kLongestHost(253, 'h');

TEST(MqttSettings, BrokerUrls) {
  const UrlCase cases[] = {
      {"mqtt://broker.local", "broker.local", 1883, false},
      {"mqtts://10.0.0.5", "10.0.0.5", 8883, true},
      {"mqtt://127.0.0.1:18830", "127.0.0.1", 18830, false},
      {"mqtts://[::1]:9000", "::1", 9000, true},
      {"http://broker", nullptr, 0, false},
      {"mqtt://", nullptr, 0, false},
      {"mqtt://host:99999", nullptr, 0, false},
      {"mqtt://host:0", nullptr, 0, false},
      {"mqtt://broker.local:1884/", "broker.local", 1884, false},
      {"mqtt://[::1]", "::1", 1883, false},
      {"mqtt://" + kLongestHost, kLongestHost.c_str(), 1883, false},
      {"mqtt://" + kLongestHost + "h", nullptr, 0, false},
      {"mqtt://" + std::string(60000, 'a'), nullptr, 0, false},
      {"mqtt://[::1", nullptr, 0, false},
      {"mqtt://[]:1883", nullptr, 0, false},
      {"mqtt://[g::1]", nullptr, 0, false},
      {"mqtt://ho st", nullptr, 0, false},
      {"mqtt://host:", nullptr, 0, false},
      {"mqtt://host//", nullptr, 0, false},
  };
  for (const UrlCase& row : cases) {
    if (!row.host) {
      EXPECT_THROW(gw::parse_mqtt_url(row.url), gw::ConfigError) << row.url.substr(0, 80);
      continue;
    }
    const gw::MqttBroker broker = gw::parse_mqtt_url(row.url);
    EXPECT_EQ(broker.host, row.host);
    EXPECT_EQ(broker.port, row.port) << row.url.substr(0, 80);
    EXPECT_EQ(broker.tls, row.tls) << row.url.substr(0, 80);
  }
  Json::Value section;
  section["url"] = "mqtt://h";
  section["ha_discovery"] = "ha";
  const gw::MqttSettings settings = gw::parse_mqtt_settings(section);
  EXPECT_TRUE(settings.ha_discovery);
  EXPECT_EQ(settings.ha_prefix, "ha");
  section["password"] = "never in the configuration";
  EXPECT_THROW(gw::parse_mqtt_settings(section), gw::ConfigError);
}

// Refused as settings, before libmosquitto would refuse them at the start.
TEST(MqttSettings, TextsTheTopicsCanCarry) {
  struct Row {
    const char* key;
    Json::Value value;
    const char* message;
  };
  const Row rows[] = {
      {"prefix", "#", R"(mqtt.prefix: "#" is not allowed (allowed: a topic prefix of at most 200)"},
      {"prefix", "site/+", R"(mqtt.prefix: "site/+" is not allowed)"},
      {"prefix", std::string(201, 'p'), "mqtt.prefix: \"pppp"},
      {"prefix", std::string(70000, 'p'), "p…\" is not allowed (allowed: a non-empty UTF-8 text"},
      {"prefix", "", R"(mqtt.prefix: "" is not allowed)"},
      {"ha_discovery", "ha/#", R"(mqtt.ha_discovery: "ha/#" is not allowed)"},
      {"client_id", "gw\xff", R"(mqtt.client_id: "gw\xff" is not allowed)"},
      {"user", std::string("a\0b", 3), R"(mqtt.user: "a\x00b" is not allowed)"},
  };
  for (const Row& row : rows) {
    Json::Value section;
    section[row.key] = row.value;
    try {
      gw::parse_mqtt_settings(section);
      ADD_FAILURE() << "accepted " << row.key;
    } catch (const gw::ConfigError& error) {
      EXPECT_NE(std::string(error.what()).find(row.message), std::string::npos) << error.what();
    }
  }
  gw::MqttFlags flags;
  flags.prefix = "#";
  EXPECT_THROW(gw::apply_mqtt_flags(flags, {}), gw::ConfigError);
}

TEST(MqttSettings, DiscoveryNeedsABroker) {
  gw::MqttFlags flags;
  flags.ha_discovery = "";
  gw::MqttSettings from_file;
  EXPECT_THROW(gw::apply_mqtt_flags(flags, from_file), gw::ConfigError);
  from_file.url = "mqtt://broker";
  EXPECT_TRUE(gw::apply_mqtt_flags(flags, from_file).ha_discovery);
  from_file = gw::MqttSettings{};
  from_file.ha_discovery = true;
  try {
    gw::apply_mqtt_flags({}, from_file);
    FAIL() << "discovery without a broker";
  } catch (const gw::ConfigError& error) {
    EXPECT_EQ(std::string(error.what()).rfind("mqtt.ha_discovery needs a broker", 0), 0u);
  }
  flags.ha_discovery.reset();
  flags.url = "mqtt://broker";
  EXPECT_TRUE(gw::apply_mqtt_flags(flags, from_file).Enabled());
}

}  // namespace
