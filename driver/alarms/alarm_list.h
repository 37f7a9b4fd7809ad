// Tests of alarm points against the device's alarm list. A group gathers the
// entries of its kind (for screens: of its kind and unit) and searches the
// gathering for the point's alarm index. An entry that is in the gathering
// and holds the index is one entry that matches kind, unit and index at once,
// so each point's test is kept as that one match.
#pragma once

#include <cstdint>
#include <vector>

#include "driver/alarm_item.h"

namespace qmr4100::alarms {

struct ListTest {
  static constexpr int kAny = -1;

  std::uint8_t kind;
  int unit = kAny;   // the screen number, for AC and DC screen points
  int index = kAny;  // the alarm index; system points test the kind alone

  // Whether the list holds an entry matching the test.
  bool holds(const std::vector<alarm_item>& list) const;
};

}  // namespace qmr4100::alarms
