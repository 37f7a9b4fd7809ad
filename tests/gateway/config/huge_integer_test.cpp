// JSON numbers parse up to 2^64 - 1 (and doubles far beyond), but the
// configuration and scenario readers take integers as 64-bit signed values.
// An integer outside that range must be refused like any other out-of-range
// value, not escape as a JsonCpp exception that ends the program.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include <json/reader.h>

#include "config/config.h"
#include "qmr4100/sim/scenario.h"

namespace {

Json::Value parse(const std::string& text) {
  Json::CharReaderBuilder builder;
  Json::Value json;
  std::string errors;
  std::istringstream in(text);
  EXPECT_TRUE(Json::parseFromStream(builder, in, &json, &errors)) << errors;
  return json;
}

struct HugeNumber {
  const char* name;
  const char* text;
};

constexpr HugeNumber kHugeNumbers[] = {
    {"AboveInt64", "18446744073709551615"},
    {"DoubleAboveInt64", "1e19"},
    {"DoubleBelowInt64", "-1e19"},
};

class HugeIntegerRefused : public ::testing::TestWithParam<HugeNumber> {};

TEST_P(HugeIntegerRefused, ByTheGatewayConfigurationWithConfigError) {
  const Json::Value json = parse(R"({"devices": [{"port": "/dev/ttyS0", "data_id": )" +
                                 std::string(GetParam().text) + "}]}");
  EXPECT_THROW(qmr4100::gateway::parse_config(json), qmr4100::gateway::ConfigError);
}

TEST_P(HugeIntegerRefused, ByTheScenarioWithScenarioError) {
  const Json::Value json = parse(R"({"system_value": )" + std::string(GetParam().text) + "}");
  EXPECT_THROW(qmr4100::sim::parse_scenario(json), qmr4100::sim::ScenarioError);
}

INSTANTIATE_TEST_SUITE_P(Numbers, HugeIntegerRefused, ::testing::ValuesIn(kHugeNumbers),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
