// Scenario files, scripted changes and the expected block.
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>

#include <json/reader.h>

#include "qmr4100/sim/faults.h"
#include "qmr4100/sim/scenario.h"
#include "scenarios.h"

namespace {

using qmr4100::sim::ScenarioError;
namespace layout = qmr4100::layout;

Json::Value json_of(const std::string& text) {
  Json::Value json;
  std::string errors;
  std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
  if (!reader->parse(text.data(), text.data() + text.size(), &json, &errors)) {
    throw std::invalid_argument(errors);
  }
  return json;
}

std::string parse_error(const std::string& text) {
  try {
    qmr4100::sim::parse_scenario(json_of(text));
  } catch (const ScenarioError& e) {
    return e.what();
  }
  return "accepted";
}

struct BadScenario {
  const char* json;
  const char* message;
};

constexpr BadScenario kBadScenarios[] = {
    {R"({"modules": [{}, {"status": 300}]})", "modules[1].status: 300 is out of range 0..255"},
    {R"({"address": -1})", "address: -1 is out of range 0..255"},
    {R"({"address": "one"})", "address: \"one\" is not an integer in range 0..255"},
    {R"({"system_value": 65536})", "system_value: 65536 is out of range 0..65535"},
    {R"({"system_value": 53.5})", "system_value: 53.5 is not an integer in range 0..65535"},
    {R"({"modules": [{"states": [0, 256]}]})", "modules[0].states[1]: 256 is out of range 0..255"},
    {R"({"modules": [{"states": [0, 0, 0, 0]}]})", "modules[0].states: 4 items, at most 3"},
    {R"({"modules": [{"skip": 1, "colour": 2}]})", "modules[0]: unknown key \"colour\""},
    {R"({"battery": 5})", "battery: expected an array of at most 56"},
    {R"({"entries_9c": [[1, 2, 3, 4, 5]]})", "entries_9c[0]: 5 items, at most 4"},
    {R"({"values_a2": [1,2,3,4,5,6,7,8,9,10,11,12,13]})", "values_a2: 13 items, at most 12"},
    {R"({"bytes_a2": [0, 0, 999]})", "bytes_a2[2]: 999 is out of range 0..255"},
    {R"({"adress": 1})", "scenario: unknown key \"adress\""},
    {R"([1, 2])", "scenario: expected a JSON object"},
    {R"({"modules": [{}], "changes": [{"from": 0, "to": 1, "module": 1, "status": 1}]})",
     "changes[0].from: 0 is out of range 1..1000000000"},
    {R"({"modules": [{}], "changes": [{"from": 3, "to": 2, "module": 1, "status": 1}]})",
     "changes[0].to: 2 is out of range 3..1000000000"},
    {R"({"modules": [{}], "changes": [{"from": 1, "to": 2, "module": 2, "status": 1}]})",
     "changes[0].module: 2 is out of range 1..1"},
    {R"({"modules": [{}], "changes": [{"from": 1, "to": 2, "status": 1}]})",
     "changes[0].module: missing, expected an integer in range 1..1"},
    {R"({"changes": [{"from": 1, "to": 2}]})",
     "changes[0]: sets none of \"system_value\", \"value\", \"status\""},
    {R"({"modules": [{}], "changes": [{"from": 1, "to": 2, "module": 1, "status": 1, "step": 1}]})",
     "changes[0].step: not used with \"status\""},
    {R"({"changes": [{"from": 1, "to": 2, "system_value": 1, "module": 1}]})",
     "changes[0].module: not used with \"system_value\""},
};

class ScenarioParseError : public ::testing::TestWithParam<BadScenario> {};

TEST_P(ScenarioParseError, NamesTheKeyAndTheAllowedRange) {
  EXPECT_EQ(parse_error(GetParam().json).rfind(GetParam().message, 0), 0u)
      << parse_error(GetParam().json);
}

INSTANTIATE_TEST_SUITE_P(Table, ScenarioParseError, ::testing::ValuesIn(kBadScenarios));

TEST(Scenario, ParsingAcceptsAtMost64Modules) {
  Json::Value json(Json::objectValue);
  json["modules"] = Json::Value(Json::arrayValue);
  for (int i = 0; i < 64; ++i) json["modules"].append(Json::Value(Json::objectValue));
  EXPECT_EQ(qmr4100::sim::parse_scenario(json).modules.size(), 64u);
  json["modules"].append(Json::Value(Json::objectValue));
  EXPECT_THROW(qmr4100::sim::parse_scenario(json), ScenarioError);
}

TEST(Scenario, PrintedJsonReadsBackTheSame) {
  for (const auto& scenario : {qmr4100::sim::default_scenario(), with_modules(64)}) {
    const std::string text = qmr4100::sim::scenario_to_json(scenario);
    const auto again = qmr4100::sim::parse_scenario(json_of(text));
    EXPECT_EQ(qmr4100::sim::scenario_to_json(again), text);
    EXPECT_EQ(qmr4100::sim::expected_block(again, 3), qmr4100::sim::expected_block(scenario, 3));
  }
}

TEST(Scenario, LoadErrorsNameTheFile) {
  const std::string path =
      ::testing::TempDir() + "qmr4100_sim_" + std::to_string(::getpid()) + "_bad_scenario.json";
  std::ofstream(path) << R"({"modules": [{"status": 300}]})";
  try {
    qmr4100::sim::load_scenario(path);
    FAIL() << "accepted";
  } catch (const ScenarioError& e) {
    EXPECT_EQ(std::string(e.what()), path + ": modules[0].status: 300 is out of range 0..255");
  }
  std::ofstream(path) << "{ not json";
  EXPECT_THROW(qmr4100::sim::load_scenario(path), ScenarioError);
  std::remove(path.c_str());
  try {
    qmr4100::sim::load_scenario(path);
    FAIL() << "accepted";
  } catch (const ScenarioError& e) {
    EXPECT_EQ(std::string(e.what()).rfind(path + ": cannot open", 0), 0u) << e.what();
  }
}

TEST(Scenario, FileListsThePowerSystemsOfOneLine) {
  const std::string path =
      ::testing::TempDir() + "qmr4100_sim_" + std::to_string(::getpid()) + "_line.json";
  std::ofstream(path) << R"([{"address": 1}, {"address": 2, "system_value": 480}])";
  const auto systems = qmr4100::sim::load_systems(path);
  ASSERT_EQ(systems.size(), 2u);
  EXPECT_EQ(systems[1].address, 2);
  EXPECT_EQ(systems[1].system_value, 480);
  std::ofstream(path) << R"([{"address": 1}, {"address": 256}])";
  try {
    qmr4100::sim::load_systems(path);
    FAIL() << "accepted";
  } catch (const ScenarioError& e) {
    EXPECT_EQ(std::string(e.what()).rfind(path + ": [1]: address", 0), 0u) << e.what();
  }
  std::remove(path.c_str());
}

TEST(Scenario, ChangesHoldFromFirstToLastCycleAndRamp) {
  qmr4100::sim::Scenario s = with_modules(2);
  s.system_value = 500;
  s.changes = {
      {2, 3, qmr4100::sim::Change::Target::ModuleStatus, 2, 0xFE, 0},
      {1, 3, qmr4100::sim::Change::Target::ModuleValue, 1, 200, -50},
      {4, 4, qmr4100::sim::Change::Target::SystemValue, 0, 10, 0},
  };
  const std::uint8_t status[] = {1, 0xFE, 0xFE, 1};  // module 2 reports a fault in with_modules
  const qmr4100::sim::Tenths value[] = {200, 150, 100, 100};
  const qmr4100::sim::Tenths system[] = {500, 500, 500, 10};
  for (int cycle = 1; cycle <= 4; ++cycle) {
    const auto now = qmr4100::sim::at_cycle(s, cycle);
    EXPECT_EQ(now.modules[1].status, status[cycle - 1]) << cycle;
    EXPECT_EQ(now.modules[0].value, value[cycle - 1]) << cycle;
    EXPECT_EQ(now.system_value, system[cycle - 1]) << cycle;
  }
}

TEST(Scenario, RampsStopAtTheEndsOfTheRange) {
  qmr4100::sim::Scenario s;
  s.changes = {{1, 10, qmr4100::sim::Change::Target::SystemValue, 0, 65530, 5}};
  EXPECT_EQ(qmr4100::sim::at_cycle(s, 5).system_value, 65535);
  s.changes = {{1, 10, qmr4100::sim::Change::Target::SystemValue, 0, 10, -5}};
  EXPECT_EQ(qmr4100::sim::at_cycle(s, 5).system_value, 0);
}

TEST(ExpectedBlock, HoldsEachAnswerAtItsOffset) {
  qmr4100::sim::Scenario s = with_modules(2);
  s.system_value = 500;
  s.value_95 = 0xFFFF;
  const auto block = qmr4100::sim::expected_block(s, 1);
  EXPECT_EQ(qmr4100::get_u32le(block, layout::kDataId), 0u);
  EXPECT_EQ(qmr4100::get_u32le(block, layout::kSystemValue), 0x42480000u);  // 50.0
  EXPECT_EQ(block[layout::kModuleCount], 2);
  EXPECT_FLOAT_EQ(qmr4100::get_f32le(block, layout::module_record(1)), 10.7f);
  EXPECT_EQ(block[layout::module_record(1) + layout::kModuleStatus], qmr4100::kModuleFault);
  EXPECT_EQ(block[layout::kBattery + 55], s.battery[55]);
  EXPECT_EQ(block[layout::kEntries9C + 4], s.entries_9c[1][0]);
  EXPECT_EQ(block[layout::kRaw86 + 53], s.raw_86[53]);
  EXPECT_FLOAT_EQ(qmr4100::get_f32le(block, layout::kValuesA2 + 4 * 11), s.values_a2[11] / 10.0f);
  EXPECT_EQ(block[layout::kBytesA2 + 2], s.bytes_a2[2]);
  EXPECT_EQ(block[layout::kBytes95 + 1], s.bytes_95[1]);
  EXPECT_FLOAT_EQ(qmr4100::get_f32le(block, layout::kValue95), 6553.5f);
  for (std::size_t i = 0; i < layout::kTimestampSize; ++i) EXPECT_EQ(block[layout::kTimestamp + i], 0);
}

struct IgnoredByte {
  const char* what;
  std::size_t offset;
  bool ignored;
};

TEST(CompareBlock, IgnoresWhatNoCorrectDriverIsHeldTo) {
  const qmr4100::sim::Scenario s = with_modules(2);  // and the default's three 0x9C entries
  const auto expected = qmr4100::sim::expected_block(s, 1);
  const IgnoredByte rows[] = {
      {"data id", layout::kDataId + 1, true},
      {"timestamp", layout::kTimestamp + 6, true},
      {"record beyond the module count", layout::module_record(2), true},
      {"last record", layout::module_record(63) + 7, true},
      {"entry beyond the announced count", layout::kEntries9C + 12, true},
      {"system value", layout::kSystemValue + 3, false},
      {"module count", layout::kModuleCount, false},
      {"module 2 status", layout::module_record(1) + 7, false},
      {"third entry", layout::kEntries9C + 11, false},
      {"0x86 bytes", layout::kRaw86, false},
      {"0x95 value", layout::kValue95 + 3, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    auto published = expected;
    published[row.offset] ^= 0x5A;
    EXPECT_EQ(qmr4100::sim::compare_block(published, expected).has_value(), !row.ignored);
    EXPECT_EQ(qmr4100::sim::compare_block(published, s, 1).has_value(), !row.ignored);
  }
}

TEST(CompareBlock, TheDifferenceNamesOffsetAndField) {
  const auto expected = qmr4100::sim::expected_block(with_modules(2), 1);
  auto published = expected;
  published[layout::kRaw86 + 2] = 0x00;
  EXPECT_EQ(qmr4100::sim::compare_block(published, expected),
            "offset 779 (0x86 bytes): published 0x0, expected 0x82");
}

TEST(FaultList, ReadsNamesAndRates) {
  const auto plan = qmr4100::sim::parse_faults("noise:0.1,echo,bad_checksum:1,PortBounce:0");
  ASSERT_EQ(plan.faults.size(), 4u);
  EXPECT_EQ(plan.faults[0].fault, qmr4100::sim::Fault::Noise);
  EXPECT_DOUBLE_EQ(plan.faults[0].rate, 0.1);
  EXPECT_EQ(plan.faults[1].fault, qmr4100::sim::Fault::Echo);
  EXPECT_DOUBLE_EQ(plan.faults[1].rate, 1.0);
  EXPECT_EQ(plan.faults[2].fault, qmr4100::sim::Fault::BadChecksum);
  EXPECT_EQ(plan.faults[3].fault, qmr4100::sim::Fault::PortBounce);
  EXPECT_TRUE(qmr4100::sim::parse_faults("").faults.empty());
}

TEST(FaultList, RefusalsNameTheBadItem) {
  const std::pair<const char*, const char*> rows[] = {
      {"noise:0.1,nosie:0.2", "fault \"nosie:0.2\": unknown name \"nosie\""},
      {"drop:1.5", "fault \"drop:1.5\": rate \"1.5\" is not a number in range 0..1"},
      {"drop:x", "fault \"drop:x\": rate \"x\" is not a number in range 0..1"},
      {"drop:", "fault \"drop:\": rate \"\" is not a number in range 0..1"},
      {"noise,,drop", "fault list \"noise,,drop\": empty item"},
  };
  for (const auto& [list, message] : rows) {
    try {
      qmr4100::sim::parse_faults(list);
      ADD_FAILURE() << list << " accepted";
    } catch (const std::invalid_argument& e) {
      EXPECT_EQ(std::string(e.what()).rfind(message, 0), 0u) << e.what();
    }
  }
}

}  // namespace
