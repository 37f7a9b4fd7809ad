// Battery discharge, battery switch, column-head cabinet and environment
// alarms of one DC screen, reported at the end of its screen pass.
#include <string>

#include "driver/alarms/alarm_row.h"
#include "driver/alarms/dc_screen_pass.h"
#include "driver/alarms/text.h"

namespace qmr4100::alarms {

namespace {

// Identifier literal + n; description L + literal; index: offset from the
// screen's index base.
constexpr AlarmRow kDischargeRows[] = {
    {"pmz21vb_06005_discharge_505_", "06005", "电池供电告警", "电池组1放电告警", 505},
    {"pmz21vb_06005_discharge_506_", "06005", "电池供电告警", "电池组2放电告警", 506},
    {"pmz21vb_06005_discharge_507_", "06005", "电池供电告警", "电池组3放电告警", 507},
    {"pmz21vb_06005_discharge_508_", "06005", "电池供电告警", "电池组4放电告警", 508},
    {"pmz21vb_06005_discharge_509_", "06005", "电池供电告警", "电池组A1放电告警", 509},
    {"pmz21vb_06005_discharge_510_", "06005", "电池供电告警", "电池组A2放电告警", 510},
    {"pmz21vb_06005_discharge_511_", "06005", "电池供电告警", "电池组B1放电告警", 511},
    {"pmz21vb_06005_discharge_512_", "06005", "电池供电告警", "电池组B2放电告警", 512},
};

constexpr AlarmRow kSwitchRows[] = {
    {"pmz21vb_06038_switch_513_", "06038", "电池开关断开", "电池组1开关异常", 513},
    {"pmz21vb_06038_switch_514_", "06038", "电池开关断开", "电池组2开关异常", 514},
    {"pmz21vb_06038_switch_515_", "06038", "电池开关断开", "电池组3开关异常", 515},
    {"pmz21vb_06038_switch_516_", "06038", "电池开关断开", "电池组4开关异常", 516},
    {"pmz21vb_06038_switch_517_", "06038", "电池开关断开", "电池组A1开关异常", 517},
    {"pmz21vb_06038_switch_518_", "06038", "电池开关断开", "电池组A2开关异常", 518},
    {"pmz21vb_06038_switch_519_", "06038", "电池开关断开", "电池组B1开关异常", 519},
    {"pmz21vb_06038_switch_520_", "06038", "电池开关断开", "电池组B2开关异常", 520},
};

// Cabinets k = 1..32: identifier literal + n + "_" + k; name and description
// are k + literal, without the screen label; offset 520 + k.
constexpr int kCabinets = 32;
constexpr const char* kCabinetId = "pmz21vb_06038_lietou_520_";
constexpr const char* kCabinetCode = "06035";
constexpr const char* kCabinetText = "号列头柜通讯故障";
constexpr int kCabinetOffset = 520;

// The code of all three is the text "环境温度过高"; name and description are
// both L + literal.
constexpr AlarmRow kEnvironmentRows[] = {
    {"pmz21vb_06039_553_", "环境温度过高", "环境高温告警", "环境高温告警", 553, NameForm::Labelled},
    {"pmz21vb_06039_554_", "环境温度过高", "环境低温告警", "环境低温告警", 554, NameForm::Labelled},
    {"pmz21vb_06039_555_", "环境温度过高", "环境温度传感器故障", "环境温度传感器故障", 555,
     NameForm::Labelled},
};

void add_cabinets(TableBuilder& table, const DcScreenPass& pass) {
  const std::string id_prefix = kCabinetId + decimal(pass.screen) + "_";
  for (int k = 1; k <= kCabinets; ++k) {
    const std::string cabinet = decimal(k);
    const std::string text = cabinet + kCabinetText;
    table.add(kCabinetCode, id_prefix + cabinet, kCabinetCode, text, text,
              pass.test(kCabinetOffset + k));
  }
}

}  // namespace

void add_battery_cabinet_alarms(TableBuilder& table, const DcScreenPass& pass) {
  add_screen_rows(table, pass, kDischargeRows);
  add_screen_rows(table, pass, kSwitchRows);
  add_cabinets(table, pass);
  add_screen_rows(table, pass, kEnvironmentRows);
}

}  // namespace qmr4100::alarms
