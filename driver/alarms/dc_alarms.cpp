// DC distribution alarms: the screens' communication, then one pass per DC
// screen with its screen points, 80 branches, the A and B paths and, last,
// the battery, cabinet and environment points. The system has one DC screen.
#include <cstdint>
#include <string>

#include "driver/alarms/alarm_groups.h"
#include "driver/alarms/alarm_row.h"
#include "driver/alarms/dc_screen_pass.h"
#include "driver/alarms/text.h"

namespace qmr4100::alarms {

namespace {

constexpr int kDcScreens = 1;
constexpr std::uint8_t kDcCommKind = 13;
// Each DC screen owns 560 alarm indexes of the kind-14 family.
constexpr int kIndexesPerScreen = 560;

// One point per screen, active when an entry of kind 13 holds the screen number.
constexpr AlarmRow kCommunication =
    {"pmz21vb_06011_dccomm_", "06011", "直流屏通讯中断告警", "通讯故障", 0};

// Identifier literal + n; description L + literal; index: offset from the
// screen's index base.
constexpr AlarmRow kScreenRows[] = {
    {"pmz21vb_06042_1_", "06042", "系统输出电压过高", "直流高压", 1},
    {"pmz21vb_06043_2_", "06043", "系统输出电压过低", "直流低压", 2},
    {"pmz21vb_06007_dc_3_", "06007", "负载熔丝故障告警", "输入开关异常", 3},
    {"pmz21vb_06006_dc_4_", "06006", "负载电流过高告警", "总负载过流", 4},
    {"pmz21vb_06022_dc_5_", "06022", "防雷器故障告警", "避雷器异常", 5},
};

// Six points per branch k = 1..80. Per-branch rows carry n + "_" + k in the
// identifier and search offset + k; the A- and B- rows carry n only and search
// the same offset for every k. Description: L + before + k + after.
struct BranchRow {
  const char* id;
  bool per_branch;
  const char* code;
  const char* name;
  const char* before;
  const char* after;
  int offset;
};

constexpr int kBranches = 80;
constexpr BranchRow kBranchRows[] = {
    {"pmz21vb_06007_dcouput_", true, "06007", "负载熔丝故障告警", "分路", "开关异常", 8},
    {"pmz21vb_06006_dcovercurrent_", true, "06006", "负载电流过高告警", "分路", "电流过流", 88},
    {"pmz21vb_06007_dcoutput_a_", false, "06007", "负载熔丝故障告警", "分路A-", "开关异常", 176},
    {"pmz21vb_06006_dcovercurrent_a_", false, "06006", "负载电流过高告警", "分路A-", "电流过流", 255},
    {"pmz21vb_06007_dcoutput_b_", false, "06007", "负载熔丝故障告警", "分路B-", "开关异常", 344},
    {"pmz21vb_06006_dcovercurrent_b_", false, "06006", "负载电流过高告警", "分路B-", "电流过流", 424},
};

// The A path, then the B path; offsets from the screen's index base.
constexpr AlarmRow kPathRows[] = {
    {"pmz21vb_06042_dc_169_", "06042", "系统输出电压过高", "A路直流高压", 169},
    {"pmz21vb_06043_dc_170_", "06043", "系统输出电压过低", "A路直流低压", 170},
    {"pmz21vb_06007_dc_171_", "06007", "负载熔丝故障告警", "A路输入开关异常", 171},
    {"pmz21vb_06006_dc_172_", "06006", "负载电流过高告警", "A路总负载过流", 172},
    {"pmz21vb_06022_dc_173_", "06022", "防雷器故障告警", "A路避雷器异常", 173},
    {"pmz21vb_06042_dc_337_", "06042", "系统输出电压过高", "B路直流高压", 337},
    {"pmz21vb_06043_dc_338_", "06043", "系统输出电压过低", "B路直流低压", 338},
    {"pmz21vb_06007_dc_339_", "06010", "负载熔丝故障告警", "B路输入开关异常", 339,
     NameForm::Fixed, "06007"},
    {"pmz21vb_06006_dc_340_", "06006", "负载电流过高告警", "B路总负载过流", 340},
    {"pmz21vb_06022_dc_341_", "06022", "防雷器故障告警", "B路避雷器异常", 341},
};

std::string dc_screen_label(int screen) { return "直流配电屏" + decimal(screen); }

void add_communication(TableBuilder& table) {
  for (int screen = 1; screen <= kDcScreens; ++screen) {
    add_row(table, kCommunication, decimal(screen), dc_screen_label(screen),
            ListTest{kDcCommKind, ListTest::kAny, screen});
  }
}

void add_branch(TableBuilder& table, const DcScreenPass& pass, int k) {
  const std::string number = decimal(pass.screen);
  const std::string branch = decimal(k);
  for (const BranchRow& row : kBranchRows) {
    const std::string id = row.id + (row.per_branch ? number + "_" + branch : number);
    const int offset = row.per_branch ? row.offset + k : row.offset;
    table.add(row.code, id, row.code, row.name, pass.label + row.before + branch + row.after,
              pass.test(offset));
  }
}

void add_screen_pass(TableBuilder& table, int screen) {
  const DcScreenPass pass{screen, dc_screen_label(screen), kIndexesPerScreen * (screen - 1)};
  add_screen_rows(table, pass, kScreenRows);
  for (int k = 1; k <= kBranches; ++k) add_branch(table, pass, k);
  add_screen_rows(table, pass, kPathRows);
  add_battery_cabinet_alarms(table, pass);
}

}  // namespace

void add_dc_alarms(TableBuilder& table) {
  add_communication(table);
  for (int screen = 1; screen <= kDcScreens; ++screen) add_screen_pass(table, screen);
}

}  // namespace qmr4100::alarms
