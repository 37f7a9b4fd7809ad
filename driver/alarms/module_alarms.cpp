// Rectifier module and battery group alarms: two points per module listed in
// the block, then five battery-group series of 16 and six module series of 64.
#include <algorithm>
#include <cstdint>
#include <string>

#include "driver/alarms/alarm_groups.h"
#include "driver/alarms/text.h"

namespace qmr4100::alarms {

namespace {

// The two points of every rectifier module. Both carry the same identifier
// for every module; name and description are the module's label + literal.
struct ModuleRow {
  const char* id;
  const char* code;
  const char* text;
  std::uint8_t status;  // module status byte that makes the point active
};

constexpr ModuleRow kModuleRows[] = {
    {"pmz21vb_0", "06024", "整流模块故障告警", kModuleFault},
    {"pmz21vb_2", "06028", "整流模块通信状态告警", kModuleCommFailure},
};

// A series runs n over its range: identifier literal + n, fixed name,
// description prefix-of-n + literal, active when the alarm list holds an entry
// of its kind with alarm index n.
struct Series {
  const char* id;
  const char* code;
  const char* name;
  const char* desc;
  std::uint8_t kind;
};

constexpr int kBatteryGroups = 16;
constexpr Series kBatterySeries[] = {
    {"pmz21vb_06003_temperature_", "06003", "电池温度过高告警", "组电池温度高", 1},
    {"pmz21vb_06082_cut_", "06082", "电池回路断", "组电池回路断", 2},
    {"pmz21vb_06070_temperature_", "06070", "电池温度传感器故障", "组电池温度传感器故障", 3},
    {"pmz21vb_06029_voltage_", "06029", "其他告警", "组电池电压传感器故障", 4},
    {"pmz21vb_06029_test_", "06029", "其他告警", "组电池测试失败", 5},
};

constexpr int kSeriesModules = 64;
constexpr Series kModuleSeries[] = {
    {"pmz21vb_06028_comm", "06028", "整流模块通信状态告警", "通讯故障", 6},
    {"pmz21vb_06029_voltagelimit_", "06029", "其他告警", "电压钳位", 7},
    {"pmz21vb_06032_shutdown_", "06032", "整流模块故障（整流模块关机）", "关机", 8},
    {"pmz21vb_06029_limit_", "06029", "其他告警", "限流", 9},
    {"pmz21vb_06025_fan_", "06025", "整流模块风扇告警", "风扇故障", 10},
    {"pmz21vb_06007_fuse_", "06007", "负载熔丝故障告警", "熔丝断", 11},
};

std::string rectifier_label(int module) { return "第" + decimal(module) + "整流模块"; }

// Groups 1-8 are numbered plainly, 9-12 are A1-1..4 and 13-16 are B1-1..4.
std::string battery_prefix(int group) {
  if (group <= 8) return "第" + decimal(group);
  if (group <= 12) return "第A1-" + decimal(group - 8);
  return "第B1-" + decimal(group - 12);
}

std::string module_prefix(int module) { return "第" + decimal(module) + "模块"; }

// The block announces its module count in one byte but holds 64 records.
std::size_t listed_modules(const Block& block) {
  return std::min<std::size_t>(block[layout::kModuleCount], layout::kMaxModules);
}

// The texts of both points for every module record the block can hold.
void add_rectifier_modules(TableBuilder& table) {
  for (std::size_t i = 0; i < layout::kMaxModules; ++i) {
    const std::string label = rectifier_label(static_cast<int>(i) + 1);
    for (const ModuleRow& row : kModuleRows) {
      const std::string text = label + row.text;
      table.add_module_point(i, table.text(row.code, row.id, row.code, text, text), row.status);
    }
  }
}

using PrefixOf = std::string (*)(int number);

void add_series(TableBuilder& table, const Series& series, int last, PrefixOf prefix) {
  for (int n = 1; n <= last; ++n) {
    table.add(series.code, series.id + decimal(n), series.code, series.name,
              prefix(n) + series.desc, ListTest{series.kind, ListTest::kAny, n});
  }
}

}  // namespace

void add_module_alarms(TableBuilder& table) {
  add_rectifier_modules(table);
  for (const Series& series : kBatterySeries)
    add_series(table, series, kBatteryGroups, battery_prefix);
  for (const Series& series : kModuleSeries)
    add_series(table, series, kSeriesModules, module_prefix);
}

void report_rectifier_modules(Reporter& reporter, const AlarmTable& table, const Block& block) {
  const std::size_t count = listed_modules(block);
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t status = block[layout::module_record(i) + layout::kModuleStatus];
    for (const ModulePoint& point : table.modules[i])
      reporter.report(point.text, status == point.active_status);
  }
}

}  // namespace qmr4100::alarms
