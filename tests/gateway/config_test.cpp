#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include <fmt/format.h>
#include <json/reader.h>

#include "config.h"
#include "support.h"

namespace gw = qmr4100::gateway;

namespace {

Json::Value json_of(const std::string& text) {
  Json::CharReaderBuilder builder;
  const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  Json::Value value;
  std::string errors;
  if (!reader->parse(text.data(), text.data() + text.size(), &value, &errors))
    throw std::runtime_error("test JSON: " + errors);
  return value;
}

TEST(GatewayConfig, ReadsDevicesAndSettings) {
  const gw::GatewayConfig config = gw::parse_config(json_of(R"({
    "devices": [{"port": "/dev/ttyUSB0", "address": 1, "data_id": 1000},
                {"port": "/dev/ttyUSB0", "address": 2, "data_id": 1001},
                {"port": "/dev/ttyUSB1", "data_id": 1002}],
    "interval": 0, "timeout": 1.5, "cache_dir": "/var/cache/gw"})"));
  ASSERT_EQ(config.devices.size(), 3u);
  EXPECT_EQ(config.devices[1].port, "/dev/ttyUSB0");
  EXPECT_EQ(config.devices[1].address, 2u);
  EXPECT_EQ(config.devices[1].data_id, 1001u);
  EXPECT_EQ(config.devices[2].address, 1u);  // the default ADR
  EXPECT_EQ(config.interval, 0.0);
  EXPECT_EQ(config.timeout, 1.5);
  EXPECT_EQ(config.cache_dir, "/var/cache/gw");
}

TEST(GatewayConfig, MissingSettingsKeepTheDefaults) {
  gw::GatewayConfig defaults;
  defaults.interval = 7;
  const gw::GatewayConfig config =
      gw::parse_config(json_of(R"({"devices":[{"port":"/dev/ttyS0","data_id":5}]})"), defaults);
  EXPECT_EQ(config.interval, 7.0);
  EXPECT_EQ(config.timeout, defaults.timeout);
}

struct Refusal {
  const char* json;
  const char* key;
  const char* value;
  const char* allowed;
};

void PrintTo(const Refusal& row, std::ostream* out) { *out << row.key << " " << row.value; }

constexpr const char* kOne = R"("devices":[{"port":"/dev/ttyS0","data_id":1}])";

// One row per refusal, kept on one line each.
// clang-format off
const Refusal kRefusals[] = {
    {R"([1,2])", "configuration", "[1,2]", "an object"},
    {R"({"devices":[]})", "devices", "[]", "at least one device"},
    {R"({"devices":{"port":"/dev/ttyS0"}})", "devices", "/dev/ttyS0", "a list"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1,"adress":2}]})", "devices[0].adress", "2", "address, baud, data_id"},
    {R"({"devices":[{"port":"","data_id":1}]})", "devices[0].port", "\"\"", "a non-empty path"},
    {R"({"devices":[{"port":"/dev/ttyS0","address":300,"data_id":1}]})", "devices[0].address", "300", "0..255"},
    {R"({"devices":[{"port":"/dev/ttyS0","address":-1,"data_id":1}]})", "devices[0].address", "-1", "0..255"},
    {R"({"devices":[{"port":"/dev/ttyS0","address":"1","data_id":1}]})", "devices[0].address", "\"1\"", "0..255"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":4294967296}]})", "devices[0].data_id", "4294967296", "0..4294967295"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":18446744073709551615}]})", "devices[0].data_id", "18446744073709551615", "0..4294967295"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1.5}]})", "devices[0].data_id", "1.5", "an integer"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":7},{"port":"/dev/ttyS1","data_id":7}]})", "devices[1].data_id", "7", "no other device has"},
    {R"({"devices":[{"port":"/dev/ttyS0","address":3,"data_id":1},{"port":"/dev/ttyS0","address":3,"data_id":2}]})", "devices[1].address", "3", "no other device on /dev/ttyS0"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1}],"interval":-1})", "interval", "-1", "0 up to 86400 seconds"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1}],"interval":"fast"})", "interval", "\"fast\"", "seconds"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1}],"timeout":0})", "timeout", "0", "more than 0 up to 600 seconds"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1}],"timeout":601})", "timeout", "601", "more than 0 up to 600 seconds"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1}],"cache_dir":5})", "cache_dir", "5", "a non-empty path"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1}],"polling":1})", "polling", "1", "cache_dir, devices, fields"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1,"baud":9601}]})", "devices[0].baud", "9601", "one of 1200, 2400"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1,"baud":115201}]})", "devices[0].baud", "115201", "57600, 115200"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1},{"port":"/dev/ttyS0","address":2,"data_id":2,"baud":19200}]})", "devices[1].baud", "19200", "9600, the baud of devices[0] on the same line"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1,"name":""}]})", "devices[0].name", "\"\"", "a non-empty text"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1,"interval":86401}]})", "devices[0].interval", "86401", "0 up to 86400 seconds"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1,"fields":{"system_value":{"unit":5}}}]})", "devices[0].fields.system_value.unit", "5", "a non-empty text"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1}],"fields":{"values_a2[0]":"V"}})", "fields.values_a2[0]", "\"V\"", R"(an object with "label" and "unit")"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1}],"fields":{"value_95":{"units":"A"}}})", "fields.value_95.units", "\"A\"", "the keys label, unit"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1}],"record":""})", "record", "\"\"", "a non-empty path"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1}],"record_max_mb":0})", "record_max_mb", "0", "more than 0 up to 1e+06 MB"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1}],"record_keep":101})", "record_keep", "101", "an integer 0..100"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1}],"record_trace":1})", "record_trace", "1", "true or false"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1}],"offline_after":0})", "offline_after", "0", "an integer 1..1000"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1}],"offline_after":1001})", "offline_after", "1001", "an integer 1..1000"},
};
// clang-format on

class GatewayConfigRefusal : public testing::TestWithParam<Refusal> {};

TEST_P(GatewayConfigRefusal, NamesKeyValueAndWhatIsAllowed) {
  const Refusal& row = GetParam();
  try {
    gw::parse_config(json_of(row.json));
    FAIL() << "accepted " << row.json;
  } catch (const gw::ConfigError& error) {
    const std::string message = error.what();
    EXPECT_EQ(message.rfind(std::string(row.key) + ": ", 0), 0u) << message;
    EXPECT_NE(message.find(row.value), std::string::npos) << message;
    EXPECT_NE(message.find(row.allowed), std::string::npos) << message;
  }
}

INSTANTIATE_TEST_SUITE_P(Table, GatewayConfigRefusal, testing::ValuesIn(kRefusals));

TEST(GatewayConfig, ReadsDeviceAndRecordSettings) {
  const gw::GatewayConfig config = gw::parse_config(json_of(R"({
    "devices": [{"port": "/dev/ttyUSB0", "data_id": 1000, "name": "hall A", "baud": 19200,
                 "interval": 0.5, "fields": {"system_value": {"label": "bus", "unit": "V"}}},
                {"port": "/dev/ttyUSB1", "data_id": 1001}],
    "record": "/var/log/gw.jsonl", "record_max_mb": 2.5, "record_keep": 0, "record_trace": true,
    "offline_after": 5, "fields": {"values_a2[0]": {"unit": "A"}}})"));
  const gw::DeviceConfig& first = config.devices[0];
  EXPECT_EQ(first.name, "hall A");
  EXPECT_EQ(first.baud, 19200u);
  EXPECT_EQ(first.interval, 0.5);
  EXPECT_EQ(first.fields.at("system_value").label, "bus");
  EXPECT_EQ(first.fields.at("system_value").unit, "V");
  EXPECT_EQ(config.devices[1].baud, 9600u);
  EXPECT_FALSE(config.devices[1].interval.has_value());
  EXPECT_EQ(config.record, "/var/log/gw.jsonl");
  EXPECT_EQ(config.record_max_mb, 2.5);
  EXPECT_EQ(config.record_keep, 0);
  EXPECT_TRUE(config.record_trace);
  EXPECT_EQ(config.offline_after, 5);
  EXPECT_EQ(config.fields.at("values_a2[0]").label, "");
  EXPECT_EQ(config.fields.at("values_a2[0]").unit, "A");
}

TEST(GatewayConfig, EveryProblemIsListedOnItsOwnLine) {
  try {
    gw::parse_config(json_of(R"({
      "devices": [{"address": 1}, {"port": "/dev/ttyS0", "data_id": "x", "baud": 300}],
      "offline_after": 0, "interval": null})"));
    FAIL() << "accepted";
  } catch (const gw::ConfigError& error) {
    std::istringstream lines(error.what());
    std::vector<std::string> keys;
    for (std::string line; std::getline(lines, line);) keys.push_back(line.substr(0, line.find(':')));
    EXPECT_EQ(keys, (std::vector<std::string>{"devices[0].port is missing",
                                              "devices[0].data_id is missing", "devices[1].data_id",
                                              "devices[1].baud", "interval", "offline_after"}))
        << error.what();
  }
}

// One line written as a path, with "." in it and through a symlink.
TEST(GatewayConfig, OnePortWrittenThreeWaysIsOneLine) {
  gwtest::TempDir dir;
  std::ofstream(dir.File("busA")) << "";
  std::filesystem::create_symlink(dir.File("busA"), dir.File("link"));
  EXPECT_EQ(gw::bus_of(dir.File("./busA")), gw::bus_of(dir.File("link")));
  try {
    gw::parse_config(json_of(fmt::format(R"({{"devices": [{{"port": "{}", "data_id": 1}},
      {{"port": "{}", "data_id": 2}}, {{"port": "{}", "data_id": 3, "baud": 1200}}]}})",
                                         dir.File("busA"), dir.File("./busA"), dir.File("link"))));
    FAIL() << "accepted one address twice on a line";
  } catch (const gw::ConfigError& error) {
    const std::string message = error.what();
    EXPECT_NE(message.find("devices[1].address: 1 is not allowed"), std::string::npos) << message;
    EXPECT_NE(message.find("devices[2].address: 1 is not allowed"), std::string::npos) << message;
    EXPECT_NE(message.find("devices[2].baud: 1200 is not allowed"), std::string::npos) << message;
  }
}

TEST(GatewayConfig, FileErrorsNameTheFile) {
  gwtest::TempDir dir;
  const std::string path = dir.File("gateway.json");
  std::ofstream(path) << "{\"devices\": [";
  try {
    gw::load_config(path);
    FAIL() << "accepted broken JSON";
  } catch (const gw::ConfigError& error) {
    EXPECT_EQ(std::string(error.what()).rfind(path + ": not valid JSON", 0), 0u) << error.what();
  }
  std::ofstream(path) << "{" << kOne << ",\"timeout\":-2}";
  EXPECT_THROW(
      {
        try {
          gw::load_config(path);
        } catch (const gw::ConfigError& error) {
          EXPECT_EQ(std::string(error.what()).rfind(path + ": timeout: -2", 0), 0u) << error.what();
          throw;
        }
      },
      gw::ConfigError);
  for (const std::string& unreadable : {dir.File("missing.json"), dir.File(".")}) {
    try {
      gw::load_config(unreadable);
      FAIL() << "read " << unreadable;
    } catch (const gw::ConfigError& error) {
      EXPECT_EQ(std::string(error.what()).rfind(unreadable + ": cannot be read: ", 0), 0u);
      EXPECT_NE(std::string(error.what()).find(unreadable == dir.File(".") ? "Is a directory"
                                                                           : "No such file"),
                std::string::npos)
          << error.what();
    }
  }
}

}  // namespace
