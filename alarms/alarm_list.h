// Tests of alarm points against the device's alarm list. Groups first gather
// the entries of their kind, then look for the point's alarm index.
#pragma once

#include <cstdint>
#include <vector>

#include "driver/alarm_item.h"

namespace qmr4100::alarms {

using Gathering = std::vector<alarm_item>;

// The entries of one kind, in list order.
Gathering gather(const std::vector<alarm_item>& list, std::uint8_t kind);
// The entries of one kind that belong to screen `unit` (AC and DC screens).
Gathering gather(const std::vector<alarm_item>& list, std::uint8_t kind, int unit);

bool holds_index(const Gathering& gathering, int index);
// System points test the list itself: an entry whose kind is the point's number.
bool holds_kind(const std::vector<alarm_item>& list, int kind);

}  // namespace qmr4100::alarms
