#include "driver/alarms/reporter.h"

#include "driver/alarms/alarm_groups.h"
#include "host/SMDVDevice.h"

namespace qmr4100::alarms {

namespace {
// Every alarm point of this device is reported at the same level.
constexpr int kAlarmLevel = 2;
}  // namespace

void Reporter::report(const PointText& point, bool active) {
  m_device.CheckThresholdBool(kAlarmLevel, point.id, point.code, point.name, point.desc, active,
                              m_counter.next(point.counter));
}

void report_alarm_table(SMDVDevice& device, const Block& block,
                        const std::vector<alarm_item>& list) {
  const AlarmTable& table = alarm_table();
  Reporter reporter(device);
  report_rectifier_modules(reporter, table, block);
  // Nothing in the system fills the list, so no point needs a search then.
  const bool list_empty = list.empty();
  for (const ListPoint& point : table.list_points)
    reporter.report(point.text, !list_empty && point.test.holds(list));
}

}  // namespace qmr4100::alarms
