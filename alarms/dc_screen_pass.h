// One pass of the DC screen loop: what it prepares for its points, and the
// points of its second half (battery, cabinets, environment).
#pragma once

#include <cstddef>
#include <string>

#include "alarms/alarm_list.h"
#include "alarms/alarm_row.h"
#include "alarms/reporter.h"
#include "alarms/text.h"

namespace qmr4100::alarms {

struct DcScreenPass {
  int screen;           // screen number n
  std::string label;    // "直流配电屏" + n
  int index_base;       // 560 × (n − 1)
  Gathering gathering;  // entries of kind 14 for this screen

  // Whether the screen's alarm `offset` is in the gathering.
  bool holds(int offset) const { return holds_index(gathering, index_base + offset); }
};

// Fixed rows of a screen: identifier + n, description L + literal, the row's
// index being the offset from the screen's index base.
template <std::size_t N>
void report_screen_rows(Reporter& reporter, const DcScreenPass& pass, const AlarmRow (&rows)[N]) {
  const std::string number = decimal(pass.screen);
  for (const AlarmRow& row : rows)
    report_row(reporter, row, number, pass.label, pass.holds(row.index));
}

// Battery discharge and switches, column-head cabinets and environment.
void report_battery_cabinet_alarms(Reporter& reporter, const DcScreenPass& pass);

}  // namespace qmr4100::alarms
