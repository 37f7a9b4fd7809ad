#include "alarms/alarm_list.h"

#include <algorithm>
#include <iterator>

namespace qmr4100::alarms {

Gathering gather(const std::vector<alarm_item>& list, std::uint8_t kind) {
  Gathering gathering;
  std::copy_if(list.begin(), list.end(), std::back_inserter(gathering),
               [kind](const alarm_item& item) { return item.kind == kind; });
  return gathering;
}

Gathering gather(const std::vector<alarm_item>& list, std::uint8_t kind, int unit) {
  Gathering gathering;
  std::copy_if(list.begin(), list.end(), std::back_inserter(gathering),
               [kind, unit](const alarm_item& item) {
                 return item.kind == kind && item.unit == unit;
               });
  return gathering;
}

bool holds_index(const Gathering& gathering, int index) {
  return std::any_of(gathering.begin(), gathering.end(),
                     [index](const alarm_item& item) { return item.index == index; });
}

bool holds_kind(const std::vector<alarm_item>& list, int kind) {
  return std::any_of(list.begin(), list.end(),
                     [kind](const alarm_item& item) { return item.kind == kind; });
}

}  // namespace qmr4100::alarms
