#include "driver/alarms/alarm_row.h"

namespace qmr4100::alarms {

void add_row(TableBuilder& table, const AlarmRow& row, const std::string& id_suffix,
             const std::string& label, ListTest test) {
  std::string name = row.name_form == NameForm::Labelled ? label + row.name : row.name;
  table.add(row.counted_under ? row.counted_under : row.code, row.id + id_suffix, row.code,
            std::move(name), label + row.desc, test);
}

}  // namespace qmr4100::alarms
