#include "alarms/alarm_row.h"

namespace qmr4100::alarms {

void report_row(Reporter& reporter, const AlarmRow& row, const std::string& id_suffix,
                const std::string& label, bool active) {
  const std::string name = row.name_form == NameForm::Labelled ? label + row.name : row.name;
  reporter.report(row.counted_under ? row.counted_under : row.code, row.id + id_suffix, row.code,
                  name, label + row.desc, active);
}

}  // namespace qmr4100::alarms
