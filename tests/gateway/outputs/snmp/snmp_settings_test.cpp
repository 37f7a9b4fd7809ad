#include <gtest/gtest.h>

#include <json/reader.h>

#include "config/config.h"
#include "outputs/snmp/snmp_options.h"

namespace gw = qmr4100::gateway;

namespace {

Json::Value json_of(const std::string& text) {
  Json::Value value;
  std::istringstream stream(text);
  std::string errors;
  if (!Json::parseFromStream(Json::CharReaderBuilder(), stream, &value, &errors))
    throw std::runtime_error("test JSON: " + errors);
  return value;
}

constexpr const char* kDevices = R"("devices": [{"port": "/dev/ttyS0", "data_id": 1}])";

TEST(SnmpSettings, ComeFromTheConfigurationFileAndFlagsOverrideThem) {
  gw::GatewayConfig config = gw::parse_config(json_of(
      std::string("{") + kDevices + R"(, "snmp": {"agentx": "/run/agentx", "ping_interval": 2}})"));
  EXPECT_EQ(config.snmp.agentx, "/run/agentx");
  EXPECT_EQ(config.snmp.ping_interval, 2);
  gw::SnmpFlags flags;
  flags.ping_interval = 9;
  flags.ApplyTo(config.snmp);
  EXPECT_EQ(config.snmp.agentx, "/run/agentx");
  EXPECT_EQ(config.snmp.ping_interval, 9);
}

TEST(SnmpSettings, RefusalsNameTheKey) {
  const struct {
    const char* snmp;
    const char* key;
  } cases[] = {{R"("tcp:127.0.0.1:705")", "snmp: "},
               {R"({"agentx": ""})", "snmp.agentx: "},
               {R"({"ping_interval": 0})", "snmp.ping_interval: "},
               {R"({"ping_interval": 1.5})", "snmp.ping_interval: "},
               {R"({"community": "public"})", "snmp: unknown key 'community' (allowed: the keys"}};
  for (const auto& c : cases) {
    try {
      gw::parse_config(json_of(std::string("{") + kDevices + R"(, "snmp": )" + c.snmp + "}"));
      ADD_FAILURE() << c.snmp << " was accepted";
    } catch (const gw::ConfigError& error) {
      EXPECT_EQ(std::string(error.what()).rfind(c.key, 0), 0u) << error.what();
    }
  }
}

}  // namespace
