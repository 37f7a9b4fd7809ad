#include <gtest/gtest.h>

#include <fstream>

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
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1,"adress":2}]})", "devices[0].adress", "2", "port, address, data_id"},
    {R"({"devices":[{"data_id":1}]})", "devices[0].port", "null", "a non-empty path"},
    {R"({"devices":[{"port":"","data_id":1}]})", "devices[0].port", "\"\"", "a non-empty path"},
    {R"({"devices":[{"port":"/dev/ttyS0","address":300,"data_id":1}]})", "devices[0].address", "300", "0..255"},
    {R"({"devices":[{"port":"/dev/ttyS0","address":-1,"data_id":1}]})", "devices[0].address", "-1", "0..255"},
    {R"({"devices":[{"port":"/dev/ttyS0","address":"1","data_id":1}]})", "devices[0].address", "\"1\"", "0..255"},
    {R"({"devices":[{"port":"/dev/ttyS0"}]})", "devices[0].data_id", "null", "0..4294967295"},
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
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1}],"polling":1})", "polling", "1", "devices, interval, timeout, cache_dir"},
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
  EXPECT_THROW(gw::load_config(dir.File("missing.json")), gw::ConfigError);
}

}  // namespace
