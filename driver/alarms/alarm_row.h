// One fixed row of an alarm table, as literals, and how it enters the table.
#pragma once

#include <string>

#include "driver/alarms/alarm_list.h"
#include "driver/alarms/alarm_table.h"

namespace qmr4100::alarms {

enum class NameForm {
  Fixed,     // the name literal as it stands
  Labelled,  // the screen label followed by the name literal
};

struct AlarmRow {
  const char* id;    // the group appends its numbers, if any
  const char* code;
  const char* name;
  const char* desc;  // follows the screen label, if the group has one
  int index;         // what the alarm-list test looks for (index, offset or kind)
  NameForm name_form = NameForm::Fixed;
  const char* counted_under = nullptr;  // counter key when it is not the code
};

// Adds `row` with `id_suffix` after its identifier and `label` before its
// description (and before its name when the row says so).
void add_row(TableBuilder& table, const AlarmRow& row, const std::string& id_suffix,
             const std::string& label, ListTest test);

}  // namespace qmr4100::alarms
