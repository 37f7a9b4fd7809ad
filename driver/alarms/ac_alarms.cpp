// AC distribution and ATS alarms: 43 fixed points and 72 branch breakers for
// each AC screen; the system has one AC screen.
#include <cstdint>
#include <string>

#include "driver/alarms/alarm_groups.h"
#include "driver/alarms/alarm_row.h"
#include "driver/alarms/text.h"

namespace qmr4100::alarms {

namespace {

constexpr int kAcScreens = 1;
constexpr std::uint8_t kAcScreenKind = 12;

// Identifier literal + screen number; description: screen label + literal.
// The index is the alarm index searched among the screen's kind-12 entries.
constexpr AlarmRow kAcRows[] = {
    {"pmz21vb_06014_ac1high_", "06014", "交流输入电压过高告警", "AC1过压", 1},
    {"pmz21vb_06015_ac1low_", "06015", "交流输入电压过低告警", "AC1低压", 4},
    {"pmz21vb_06018_ac1freq_", "06018", "交流输入频率过高告警", "AC1频率异常", 7},
    {"pmz21vb_06014_ac1suddenhigh_", "06014", "交流输入电压过高告警", "AC1瞬间高压", 8},
    {"pmz21vb_06017_ac1miss_", "06017", "交流输入缺相告警", "AC1缺相", 9},
    {"pmz21vb_06017_ac1unbalance_", "06018", "交流输入频率过高告警", "AC1相间不平衡", 12},
    {"pmz21vb_06017_ac1off_", "06017", "交流输入停电告警", "AC1停电", 13, NameForm::Fixed, "06016"},
    {"pmz21vb_06017_ac1jump_", "06013", "交流输入空开跳告警", "AC1输入空开跳脱", 14},
    {"pmz21vb_06014_ac2high_", "06014", "交流输入电压过高告警", "AC2过压", 17},
    {"pmz21vb_06015_ac2low_", "06015", "交流输入电压过低告警", "AC2欠压", 20},
    {"pmz21vb_06018_ac2freq_", "06018", "交流输入频率过高告警", "AC2频率异常", 23},
    {"pmz21vb_06014_ac2suddenhigh_", "06014", "交流输入电压过高告警", "AC2瞬间高压", 24},
    {"pmz21vb_06017_ac2miss_", "06017", "交流输入缺相告警", "AC2缺相", 25},
    {"pmz21vb_06017_ac2unbalance_", "06018", "交流输入频率过高告警", "AC2相间不平衡", 28},
    {"pmz21vb_06017_ac2off_", "06017", "交流输入停电告警", "AC2停电", 29, NameForm::Fixed, "06016"},
    {"pmz21vb_06017_ac2jump_", "06013", "交流输入空开跳告警", "AC2输入空开跳脱", 30},
    {"pmz21vb_06014_ia_", "06006", "负载电流过高告警", "交流总电流A过大", 49},
    {"pmz21vb_06014_ib_", "06006", "负载电流过高告警", "交流总电流B过大", 50},
    {"pmz21vb_06014_ic_", "06006", "负载电流过高告警", "交流总电流C过大", 51},
    {"pmz21vb_06014_ia_", "06006", "负载电流过高告警", "零线电流过高", 52},
    {"pmz21vb_06029_ats_ac1_", "06029", "其他告警", "ATS_AC1位置故障", 53},
    {"pmz21vb_06029_ats_ac2_", "06029", "其他告警", "ATS_AC2位置故障", 54},
    {"pmz21vb_06029_ats_cut_", "06029", "其他告警", "ATS断开位置故障", 55},
    {"pmz21vb_06029_ats_cut_", "06029", "其他告警", "ATS手动状态故障", 56},
    {"pmz21vb_06029_noinput_", "06029", "其他告警", "无投入告警", 57},
    {"pmz21vb_06029_testdevice_", "06029", "其他告警", "测试状态告警", 58},
    {"pmz21vb_06006_bi_", "06006", "分路电流告警", "分路电流告警", 59, NameForm::Labelled},
    {"pmz21vb_06007_atsoutputjump_", "06007", "ATS输出总空开跳脱", "ATS输出总空开跳脱", 60,
     NameForm::Labelled},
    {"pmz21vb_06029_astinputabnormal_", "06029", "其他告警", "ATS控制器供电异常", 61},
    {"pmz21vb_06029_atslockfail_", "06029", "其他告警", "ATS互锁故障", 62},
    {"pmz21vb_06029_atsmanuallockfail_", "06029", "其他告警", "ATS手动互锁故障", 63},
    {"pmz21vb_06029_maintain_", "06029", "其他告警", "定期维护告警", 64},
    {"pmz21vb_06029_commboard1_", "06029", "其他告警", "扩展板1通讯故障", 65},
    {"pmz21vb_06029_commboard2_", "06029", "其他告警", "扩展板2通讯故障", 66},
    {"pmz21vb_06029_commboard3_", "06029", "其他告警", "扩展板3通讯故障", 67},
    {"pmz21vb_06029_commboard4_", "06029", "其他告警", "扩展板4通讯故障", 68},
    {"pmz21vb_06029_powermeterfail_", "06029", "其他告警", "电表通讯故障", 69},
    {"pmz21vb_06029_apower1fail_", "06029", "其他告警", "辅助电源1告警", 73},
    {"pmz21vb_06029_apower2fail_", "06029", "其他告警", "辅助电源2告警", 74},
    {"pmz21vb_06022_lignthningrod1_", "06022", "防雷器故障告警", "避雷器1告警", 78},
    {"pmz21vb_06022_lignthningrod2_", "06022", "防雷器故障告警", "避雷器2告警", 79},
    {"pmz21vb_06007_output1_", "06007", "负载熔丝故障告警", "输入空开1告警", 81},
    {"pmz21vb_06007_output2_", "06007", "负载熔丝故障告警", "输入空开2告警", 82},
};

// Branch breakers k = 1..72 share one identifier; the description carries k.
constexpr int kBranches = 72;
constexpr const char* kBranchId = "pmz21vb_06007_branchoutput_";
constexpr const char* kBranchCode = "06007";
constexpr const char* kBranchName = "负载熔丝故障告警";
constexpr int kBranchIndexBase = 88;

std::string ac_screen_label(int screen) { return "交流屏" + decimal(screen); }

// The screen's entries of the AC screen kind holding `index`.
ListTest ac_screen_test(int screen, int index) { return ListTest{kAcScreenKind, screen, index}; }

void add_branches(TableBuilder& table, int screen, const std::string& label) {
  const std::string id = kBranchId + decimal(screen);
  for (int k = 1; k <= kBranches; ++k) {
    table.add(kBranchCode, id, kBranchCode, kBranchName, label + "分路空开" + decimal(k) + "告警",
              ac_screen_test(screen, kBranchIndexBase + k));
  }
}

void add_ac_screen(TableBuilder& table, int screen) {
  const std::string label = ac_screen_label(screen);
  const std::string number = decimal(screen);
  for (const AlarmRow& row : kAcRows)
    add_row(table, row, number, label, ac_screen_test(screen, row.index));
  add_branches(table, screen, label);
}

}  // namespace

void add_ac_alarms(TableBuilder& table) {
  for (int screen = 1; screen <= kAcScreens; ++screen) add_ac_screen(table, screen);
}

}  // namespace qmr4100::alarms
