#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include <fmt/format.h>
#include <json/reader.h>

#include "config/config.h"
#include "config/value_names.h"
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
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1,"adress":2}]})", "devices[0]", "unknown key 'adress'", "(did you mean 'address'?)"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1,"colour":2}]})", "devices[0]", "unknown key 'colour'", "the keys address, baud, data_id"},
    {R"({"devices":[{"port":"","data_id":1}]})", "devices[0].port", "\"\"", "a non-empty path"},
    {R"({"devices":[{"port":"/dev/ttyS0","address":300,"data_id":1}]})", "devices[0].address", "300", "0..255"},
    {R"({"devices":[{"port":"/dev/ttyS0","address":-1,"data_id":1}]})", "devices[0].address", "-1", "0..255"},
    {R"({"devices":[{"port":"/dev/ttyS0","address":"1","data_id":1}]})", "devices[0].address", "\"1\"", "0..255"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":4294967296}]})", "devices[0].data_id", "4294967296", "0..4294967295"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":18446744073709551615}]})", "devices[0].data_id", "18446744073709551615", "0..4294967295"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1.5}]})", "devices[0].data_id", "1.5", "an integer"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":7},{"port":"/dev/ttyS1","data_id":7}]})", "devices[1].data_id", "7", "no other device has"},
    {R"({"devices":[{"port":"/dev/ttyS0","address":3,"data_id":1},{"port":"/dev/ttyS0","address":3,"data_id":2}]})", "devices[1].address", "3", "no other device on /dev/ttyS0"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1}],"interval":-1})", "interval", "-1", "0, or 0.001 up to 86400 seconds"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1}],"interval":"fast"})", "interval", "\"fast\"", "seconds"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1}],"timeout":0})", "timeout", "0", "0.001 up to 600 seconds"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1}],"timeout":601})", "timeout", "601", "0.001 up to 600 seconds"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1}],"cache_dir":5})", "cache_dir", "5", "a non-empty path"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1}],"polling":1})", "", "unknown key 'polling'", "the keys cache_dir, devices, fields"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1}],"intervall":1})", "", "unknown key 'intervall'", "(did you mean 'interval'?)"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1}],"mqtt":{"prefx":"a"}})", "mqtt", "unknown key 'prefx'", "(did you mean 'prefix'?)"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1}],"snmp":{"agentX":"/a"}})", "snmp", "unknown key 'agentX'", "(did you mean 'agentx'?)"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1,"baud":9601}]})", "devices[0].baud", "9601", "one of 1200, 2400"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1,"baud":115201}]})", "devices[0].baud", "115201", "57600, 115200"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1},{"port":"/dev/ttyS0","address":2,"data_id":2,"baud":19200}]})", "devices[1].baud", "19200", "9600, the baud of devices[0] on the same line"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1,"name":""}]})", "devices[0].name", "\"\"", "a non-empty text"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1,"interval":86401}]})", "devices[0].interval", "86401", "0, or 0.001 up to 86400 seconds"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1,"interval":0.0004}]})", "devices[0].interval", "0.0004", "0, or 0.001 up to"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1}],"timeout":0.0001})", "timeout", "0.0001", "0.001 up to 600 seconds"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1}],"record_max_mb":1e-7})", "record_max_mb", "1e-07", "1e-06 up to 1e+06 MB"},
    {"{\"devices\":[{\"port\":\"/dev/ttyS0\",\"data_id\":1,\"name\":\"hall \xff\"}]}", "devices[0].name", "\"hall \\xff\"", "a non-empty text (UTF-8, no NUL)"},
    {"{\"devices\":[{\"port\":\"/dev/tty\xc0\xaf\",\"data_id\":1}]}", "devices[0].port", "\\xc0\\xaf", "a non-empty path (UTF-8"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1,"name":"a\u0000b"}]})", "devices[0].name", "a\\x00b", "no NUL"},
    {"{\"devices\":[{\"port\":\"/dev/ttyS0\",\"data_id\":1}],\"fields\":{\"value_95\":{\"unit\":\"\xed\xa0\x80\"}}}", "fields.value_95.unit", "\\xed\\xa0\\x80", "UTF-8"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1,"fields":{"system_value":{"unit":5}}}]})", "devices[0].fields.system_value.unit", "5", "a non-empty text"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1}],"fields":{"values_a2[0]":"V"}})", "fields.values_a2[0]", "\"V\"", R"(an object with "label" and "unit")"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1}],"fields":{"value_95":{"units":"A"}}})", "fields.value_95", "unknown key 'units'", "(did you mean 'unit'?)"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1}],"fields":{"value_95":{"colour":"A"}}})", "fields.value_95", "unknown key 'colour'", "the keys label, unit"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1}],"fields":{"sytem_value":{}}})", "fields", "unknown value name 'sytem_value'", "(did you mean 'system_value'?)"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1}],"fields":{"voltage":{}}})", "fields", "unknown value name 'voltage'", "(allowed: system_value, value_95, values_a2[0..11], module_count, module_value, modules[1..64].value, modules[*].value)"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1,"fields":{"modules[65].value":{}}}]})", "devices[0].fields", "'modules[65].value'", "modules[1..64].value"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1}],"fields":{"values_a2[012]":{}}})", "fields", "'values_a2[012]'", "values_a2[0..11]"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1}],"fields":{"module_value":{},"modules[*].value":{}}})", "fields.modules[*].value", "names the value", "of fields.module_value again"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1}],"record":""})", "record", "\"\"", "a non-empty path"},
    {R"({"devices":[{"port":"/dev/ttyS0","data_id":1}],"record_max_mb":0})", "record_max_mb", "0", "1e-06 up to 1e+06 MB"},
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
    EXPECT_EQ(message.rfind(*row.key ? std::string(row.key) + ": " : "", 0), 0u) << message;
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

TEST(GatewayConfig, FieldsKeepEachValueUnderOneName) {
  const gw::GatewayConfig config = gw::parse_config(json_of(R"({"devices": [{"port": "/dev/ttyS0",
    "data_id": 1, "fields": {"modules[3].value": {"label": "third"}}}],
    "fields": {"modules[*].value": {"unit": "A"}, "values_a2[11]": {}, "module_count": {}}})"));
  EXPECT_EQ(config.fields.at("module_value").unit, "A");
  EXPECT_EQ(config.fields.count("modules[*].value"), 0u);
  EXPECT_EQ(config.fields.count("values_a2[11]"), 1u);
  EXPECT_EQ(config.devices[0].fields.at("modules[3].value").label, "third");
  EXPECT_EQ(gw::value_name_list(),
            "system_value, value_95, values_a2[0..11], module_count, module_value, "
            "modules[1..64].value, modules[*].value");
  for (const char* name : {"modules[0].value", "modules[01].value", "modules[].value",
                           "values_a2[-1]", "values_a2[1", "Module_value"})
    EXPECT_FALSE(gw::value_key(name)) << name;
}

// A misspelt key leaves its default, which must not clash with another device.
TEST(GatewayConfig, AMisspeltKeyIsTheOnlyProblemReported) {
  try {
    gw::parse_config(json_of(R"({"devices": [{"port": "/dev/ttyS0", "data_id": 1},
      {"port": "/dev/ttyS0", "adress": 2, "data_id": 2, "baud": 19200},
      {"port": "/dev/ttyS1", "data_id": 1, "nmae": "x"}]})"));
    FAIL() << "accepted";
  } catch (const gw::ConfigError& error) {
    EXPECT_EQ(std::string(error.what()),
              "devices[1]: unknown key 'adress' (did you mean 'address'?)\n"
              "devices[2]: unknown key 'nmae' (did you mean 'name'?)");
  }
}

struct TextRefusal {
  std::string text;
  const char* message;  // after "gw.json: "
};

void PrintTo(const TextRefusal& row, std::ostream* out) { *out << row.message; }

std::string nested(int levels) {
  return std::string(levels, '[') + std::string(levels, ']');
}

const std::string kDevices = R"({"devices":[{"port":"/dev/ttyS0","data_id":1}])";
const TextRefusal kTextRefusals[] = {
    {kDevices + "} x", "not valid JSON: Line 1, Column "},
    {kDevices + "} {}", "not valid JSON: Line 1, Column "},
    {"// the devices\n" + kDevices + "}", "not valid JSON: Line 1, Column 1"},
    {kDevices + ",}", "not valid JSON: Line 1, Column "},
    {kDevices + R"(,"interval":1,"interval":2})",
     "not valid JSON: Line 1, Column 61: Duplicate key: 'interval'"},
    {kDevices + R"(,"x":)" + nested(101) + "}", "not valid JSON: nesting deeper than 100 levels"},
    {nested(999), "not valid JSON: nesting deeper than 100 levels"},
    {kDevices + R"(,"x":)" + nested(99) + "}", "unknown key 'x'"},
};

class GatewayConfigText : public testing::TestWithParam<TextRefusal> {};

TEST_P(GatewayConfigText, IsStrictJsonAndEveryMessageNamesTheFile) {
  try {
    gw::parse_config_text(GetParam().text, "gw.json");
    FAIL() << "accepted";
  } catch (const gw::ConfigError& error) {
    EXPECT_EQ(std::string(error.what()).rfind(std::string("gw.json: ") + GetParam().message, 0), 0u)
        << error.what();
  }
}

INSTANTIATE_TEST_SUITE_P(Table, GatewayConfigText, testing::ValuesIn(kTextRefusals));

TEST(GatewayConfig, EchoedValuesAreCutShort) {
  const std::string long_host = "mqtt://" + std::string(60000, 'a');
  try {
    gw::parse_config_text(kDevices + R"(,"interval":")" +
                              std::string(10'000'000, 'r') + R"(","mqtt":{"url":")" + long_host +
                              R"("},"fields":{")" + std::string(100000, 'f') + R"(":{}}})",
                          "gw.json");
    FAIL() << "accepted";
  } catch (const gw::ConfigError& error) {
    const std::string message = error.what();
    EXPECT_LT(message.size(), 1000u) << message;
    EXPECT_NE(message.find("\"" + std::string(60, 'r') + "…\""), std::string::npos) << message;
    EXPECT_NE(message.find("gw.json: mqtt.url: \"mqtt://aaa"), std::string::npos) << message;
    EXPECT_NE(message.find("(allowed: a host name of at most 253 characters)"), std::string::npos)
        << message;
    EXPECT_NE(message.find("gw.json: fields: unknown value name 'fff"), std::string::npos)
        << message;
  }
  std::string chinese, shown;
  for (int i = 0; i < 100; ++i) chinese += "中";
  for (int i = 0; i < 60; ++i) shown += "中";
  try {
    gw::parse_config(json_of(std::string("{") + kOne + R"(,"timeout":")" + chinese + "\"}"));
    FAIL() << "accepted";
  } catch (const gw::ConfigError& error) {
    EXPECT_NE(std::string(error.what()).find("\"" + shown + "…\""), std::string::npos)
        << error.what();
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
