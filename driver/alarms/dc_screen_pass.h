// One pass of the DC screen loop: what it prepares for its points, and the
// points of its second half (battery, cabinets, environment).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "driver/alarms/alarm_list.h"
#include "driver/alarms/alarm_row.h"
#include "driver/alarms/alarm_table.h"
#include "driver/alarms/text.h"

namespace qmr4100::alarms {

// The entries of a DC screen: kind 14, unit = screen number.
constexpr std::uint8_t kDcScreenKind = 14;

struct DcScreenPass {
  int screen;          // screen number n
  std::string label;   // "直流配电屏" + n
  int index_base;      // 560 × (n − 1)

  // The test for the screen's alarm `offset`.
  ListTest test(int offset) const { return ListTest{kDcScreenKind, screen, index_base + offset}; }
};

// Fixed rows of a screen: identifier + n, description L + literal, the row's
// index being the offset from the screen's index base.
template <std::size_t N>
void add_screen_rows(TableBuilder& table, const DcScreenPass& pass, const AlarmRow (&rows)[N]) {
  const std::string number = decimal(pass.screen);
  for (const AlarmRow& row : rows) add_row(table, row, number, pass.label, pass.test(row.index));
}

// Battery discharge and switches, column-head cabinets and environment.
void add_battery_cabinet_alarms(TableBuilder& table, const DcScreenPass& pass);

}  // namespace qmr4100::alarms
