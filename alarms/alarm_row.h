// One fixed row of an alarm table, as literals, and how it is reported.
#pragma once

#include <string>

#include "alarms/reporter.h"

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

// Reports `row` with `id_suffix` after its identifier and `label` before its
// description (and before its name when the row says so).
void report_row(Reporter& reporter, const AlarmRow& row, const std::string& id_suffix,
                const std::string& label, bool active);

}  // namespace qmr4100::alarms
