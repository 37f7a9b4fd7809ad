#include "driver/alarms/alarm_list.h"

#include <algorithm>

namespace qmr4100::alarms {

bool ListTest::holds(const std::vector<alarm_item>& list) const {
  return std::any_of(list.begin(), list.end(), [this](const alarm_item& item) {
    return item.kind == kind && (unit == kAny || item.unit == unit) &&
           (index == kAny || item.index == index);
  });
}

}  // namespace qmr4100::alarms
