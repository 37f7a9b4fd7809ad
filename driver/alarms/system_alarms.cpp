// System alarms: eighteen fixed points numbered 17 to 35 without 33. Each is
// active when the alarm list holds an entry whose kind is the point's number.
#include <cstdint>
#include <string>

#include "driver/alarms/alarm_groups.h"
#include "driver/alarms/alarm_row.h"

namespace qmr4100::alarms {

namespace {

// Complete literals; the index is the point's number, which the identifier
// also ends in. Codes are the system's even where the identifier's digits differ.
constexpr AlarmRow kSystemRows[] = {
    {"pmz21vb_06016_acdown_17", "06016", "交流输入停电告警", "整流屏交流中断", 17},
    {"pmz21vb_06029_18", "06029", "直流高压", "直流高压", 18},
    {"pmz21vb_06029_19", "06029", "直流低压", "直流低压", 19},
    {"pmz21vb_06004_20", "06005", "电池供电告警", "开关电源处于电池供电中", 20},
    {"pmz21vb_06029_21", "06005", "电池低压放电", "电池低压放电", 21},
    {"pmz21vb_06002_22", "06002", "电池充电过流告警", "电池充电过流告警", 22},
    {"pmz21vb_06004_23", "06004", "电池放电不平衡告警", "电池放电不平衡告警", 23},
    {"pmz21vb_06029_24", "06029", "手动限流", "手动限流", 24},
    {"pmz21vb_06029_25", "06029", "环境高温", "环境高温", 25},
    {"pmz21vb_06029_26", "06029", "环境低温", "环境低温", 26},
    {"pmz21vb_06006_27", "06006", "总负载过流告警", "总负载过流告警", 27},
    {"pmz21vb_06029_28", "06029", "环境温度传感器故障", "环境温度传感器故障", 28},
    {"pmz21vb_06029_29", "06029", "直流电压传感器故障", "直流电压传感器故障", 29},
    {"pmz21vb_06029_30", "06029", "电流传感器侦测异常", "电流传感器侦测异常", 30},
    {"pmz21vb_06029_31", "06029", "电池组标签重复", "电池组标签重复", 31},
    {"pmz21vb_06023_32", "06023", "交流屏通讯中断告警", "交流屏通讯中断告警", 32},
    {"pmz21vb_06029_34", "06029", "Flash存储故障", "Flash存储故障", 34},
    {"pmz21vb_06029_35", "06029", "模块地址配置错误", "模块地址配置错误", 35},
};

}  // namespace

void add_system_alarms(TableBuilder& table) {
  const std::string none;  // system points carry no suffix and no label
  for (const AlarmRow& row : kSystemRows)
    add_row(table, row, none, none, ListTest{static_cast<std::uint8_t>(row.index)});
}

}  // namespace qmr4100::alarms
