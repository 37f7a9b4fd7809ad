#pragma once

#include <cstdint>

// One entry of the driver's alarm list: the unit (screen number) it belongs
// to, its alarm family and its number within the family.
struct alarm_item {
  std::uint8_t unit;
  std::uint8_t kind;
  std::uint16_t index;
};
static_assert(sizeof(alarm_item) == 4);
