// The pure parts of qmr4100ctl: durations, widths and tables, threshold
// ranges, cutting a history, and the check's decision.
#include <gtest/gtest.h>

#include <fmt/format.h>
#include <json/reader.h>

#include "api_values.h"
#include "check.h"
#include "duration.h"
#include "table.h"
#include "text_width.h"
#include "threshold.h"
#include "views.h"

namespace ctl = qmr4100::ctl;

namespace {

Json::Value json(const std::string& text) {
  Json::Value value;
  std::string errors;
  const std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
  EXPECT_TRUE(reader->parse(text.data(), text.data() + text.size(), &value, &errors)) << errors;
  return value;
}

TEST(CtlDuration, AcceptsUnitsAndRefusesTheRest) {
  const std::pair<const char*, double> good[] = {
      {"30s", 30}, {"10m", 600}, {"2h", 7200}, {"1d", 86400}, {"500ms", 0.5}, {"1.5h", 5400},
      {"45", 45},  {"0s", 0}};
  for (const auto& [text, seconds] : good)
    EXPECT_DOUBLE_EQ(ctl::parse_duration(text).count(), seconds) << text;
  for (const char* text : {"", "m", "10x", "-5s", "1.2.3s", "1e3s", "s10", "10 m"})
    EXPECT_THROW(ctl::parse_duration(text), std::invalid_argument) << text;
}

TEST(CtlDuration, AgesReadShort) {
  EXPECT_EQ(ctl::age_text(ctl::Seconds(0.42)), "0.4s");
  EXPECT_EQ(ctl::age_text(ctl::Seconds(42)), "42s");
  EXPECT_EQ(ctl::age_text(ctl::Seconds(1000)), "17m");
  EXPECT_EQ(ctl::age_text(ctl::Seconds(5 * 3600)), "5h");
  EXPECT_EQ(ctl::age_text(ctl::Seconds(3 * 86400)), "3d");
}

TEST(CtlTable, ColumnsLineUpByTerminalWidth) {
  EXPECT_EQ(ctl::display_width("abc"), 3u);
  EXPECT_EQ(ctl::display_width("第2整流模块"), 11u) << "five wide characters and a digit";
  EXPECT_EQ(ctl::display_width("e\xCC\x81"), 1u) << "a combining accent adds nothing";
  EXPECT_EQ(ctl::display_width("\xFF\xE7"), 2u) << "stray bytes count one each";

  ctl::Table table({{"CODE"}, {"SEQ", ctl::Align::Right}, {"NAME"}, {"SINCE"}});
  table.Add({"06024", "2", "第2整流模块整流模块故障告警", "t1"});
  table.Add({"9", "13", "fault", "t2"});
  table.Add({"1"});
  EXPECT_EQ(table.Text(),
            "CODE   SEQ  NAME                         SINCE\n"
            "06024    2  第2整流模块整流模块故障告警  t1\n"
            "9       13  fault                        t2\n"
            "1\n");
}

TEST(CtlThreshold, RangesAlertAsThePluginsDo) {
  struct Row {
    const char* range;
    double value;
    bool alerts;
  };
  const Row rows[] = {
      {"0", 0, false},   {"0", 1, true},    {"10", -1, true},    {"10", 10, false},
      {"10:", 9, true},  {"10:", 1e9, false}, {"~:10", -1e9, false}, {"~:10", 11, true},
      {"5:10", 4, true}, {"5:10", 7, false},  {"@5:10", 7, true},  {"@5:10", 11, false},
  };
  for (const Row& row : rows)
    EXPECT_EQ(ctl::Threshold::Parse(row.range).Alerts(row.value), row.alerts)
        << row.range << " at " << row.value;
  for (const char* bad : {"", "x", "5:1", "1:x", "@"})
    EXPECT_THROW(ctl::Threshold::Parse(bad), std::invalid_argument) << bad;
}

TEST(CtlHistory, SinceKeepsTheSameColumnsFromThatTimeOn) {
  const Json::Value history = json(R"({"data_id":7,"capacity":720,"time":[10,20,30],
      "system_value":[1,2,3],"value_95":[4,5,6],"modules":[[7,null,9]],"values_a2":[[1,2,3]]})");
  const Json::Value cut = ctl::history_since(history, 20);
  EXPECT_EQ(cut, json(R"({"data_id":7,"capacity":720,"time":[20,30],"system_value":[2,3],
      "value_95":[5,6],"modules":[[null,9]],"values_a2":[[2,3]]})"));
  EXPECT_EQ(ctl::history_since(history, 31)["time"].size(), 0u);
  EXPECT_EQ(ctl::observed_period(history), 10.0);
  EXPECT_EQ(ctl::observed_period(ctl::history_since(history, 30)), std::nullopt);
}

// A device detail as the API gives it, published `age` seconds before kNow.
constexpr double kNow = 1'800'000'000;

Json::Value device(const char* health, double age, const char* alarms = "[]",
                   const char* extra = "") {
  return json(fmt::format(
      R"({{"data_id":1000,"name":"Site A","health":"{}","health_reason":"why","interval":5,
          "last_publication":"{}","alarms":{},"view":{{"system_value":53.5,
          "modules":[{{"module":1,"value":12.5}},{{"module":2,"value":null}}]}}{}}})",
      health, ctl::utc_text(kNow - age), alarms, extra));
}

struct CheckCase {
  const char* name;
  Json::Value detail;
  ctl::CheckOptions options;
  ctl::Status status;
  const char* text;  // part of the status line
};

void PrintTo(const CheckCase& row, std::ostream* out) { *out << row.name; }

ctl::CheckOptions thresholds(const char* warning, const char* critical) {
  ctl::CheckOptions options;
  if (*warning) options.warning = ctl::Threshold::Parse(warning);
  if (*critical) options.critical = ctl::Threshold::Parse(critical);
  return options;
}

const char* kMajor = R"([{"name":"第2整流模块整流模块故障告警","code":"06024","seq":2}])";
const char* kMinor = R"([{"name":"door","severity":"minor"}])";

const CheckCase kChecks[] = {
    {"online_and_quiet", device("online", 1), {}, ctl::Status::Ok, "device 1000 (Site A) online"},
    {"offline", device("offline", 60), {}, ctl::Status::Critical, "offline: why"},
    {"not_published_yet", device("unknown", 0), {}, ctl::Status::Unknown, "not published yet"},
    {"point_without_severity_is_major", device("online", 1, kMajor), {}, ctl::Status::Critical,
     "alarm 第2整流模块整流模块故障告警 (major)"},
    {"minor_point", device("online", 1, kMinor), {}, ctl::Status::Warning, "alarm door (minor)"},
    {"older_than_three_intervals", device("online", 16), {}, ctl::Status::Warning,
     "last publication 16s ago (more than 15s)"},
    {"max_age_given", device("online", 3), {{}, {}, 2.0}, ctl::Status::Warning, "more than 2.0s"},
    {"stale", device("online", 1, "[]", R"(,"stale":true)"), {}, ctl::Status::Warning,
     "data stale"},
    {"warning_threshold_instead_of_severity", device("online", 1, kMajor), thresholds("0", ""),
     ctl::Status::Warning, "1 alarm points active (warning threshold 0)"},
    {"critical_threshold", device("online", 1, kMinor), thresholds("", "@1:"),
     ctl::Status::Critical, "(critical threshold @1:)"},
    {"within_thresholds", device("online", 1, kMajor), thresholds("5", "10"), ctl::Status::Ok,
     "1 alarm points active"},
};

class CtlCheck : public testing::TestWithParam<CheckCase> {};

TEST_P(CtlCheck, StatusAndLine) {
  const CheckCase& row = GetParam();
  const ctl::DeviceFacts facts{row.detail, ctl::configured_period(row.detail)};
  const ctl::CheckOutcome outcome = ctl::check_devices({facts}, kNow, row.options);
  EXPECT_EQ(outcome.status, row.status) << outcome.text;
  EXPECT_EQ(outcome.text.rfind(std::string("QMR4100 ") + ctl::status_name(row.status) + " - ", 0),
            0u)
      << outcome.text;
  EXPECT_NE(outcome.text.find(row.text), std::string::npos) << outcome.text;
}

INSTANTIATE_TEST_SUITE_P(Table, CtlCheck, testing::ValuesIn(kChecks),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CtlCheck, PerformanceDataNameEveryValueOfAPublishingDevice) {
  const ctl::CheckOutcome one = ctl::check_devices(
      {{device("online", 1, kMajor), 5.0}}, kNow, thresholds("0", "3"));
  EXPECT_EQ(one.text.substr(one.text.find(" | ")),
            " | 'system_value'=53.5;;; 'alarms_active'=1;0;3; 'age'=1.000s;;; "
            "'module_1_value'=12.5;;;");

  Json::Value other = device("offline", 60);
  other["data_id"] = 1001;
  const ctl::CheckOutcome two = ctl::check_devices(
      {{device("online", 1, kMinor), 5.0}, {other, 5.0}}, kNow, {});
  EXPECT_EQ(two.status, ctl::Status::Critical);
  EXPECT_NE(two.text.find("device 1001 (Site A): offline: why; device 1000 (Site A): alarm door"),
            std::string::npos)
      << "the worst first: " << two.text;
  EXPECT_NE(two.text.find("'devices_online'=1;;; 'devices_offline'=1;;; '1000_system_value'"),
            std::string::npos)
      << two.text;
  EXPECT_EQ(two.text.find("1001_system_value"), std::string::npos) << "no old values";
}

TEST(CtlCheck, WorstOfStatusesAsThePluginsCombineThem) {
  using S = ctl::Status;
  EXPECT_EQ(ctl::worse(S::Ok, S::Unknown), S::Unknown);
  EXPECT_EQ(ctl::worse(S::Unknown, S::Warning), S::Warning);
  EXPECT_EQ(ctl::worse(S::Critical, S::Warning), S::Critical);
  EXPECT_EQ(ctl::check_unknown("a | b").text, "QMR4100 UNKNOWN - a / b");
}

}  // namespace
