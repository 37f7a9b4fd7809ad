#include "driver/alarms/alarm_table.h"

#include <algorithm>
#include <stdexcept>

#include "driver/alarms/alarm_groups.h"

namespace qmr4100::alarms {

namespace {

// The groups in the order round completion walks them.
AlarmTable build_alarm_table() {
  TableBuilder builder;
  add_module_alarms(builder);
  add_ac_alarms(builder);
  add_dc_alarms(builder);
  add_system_alarms(builder);
  return builder.take();
}

}  // namespace

PointText TableBuilder::text(std::string_view counter_key, std::string id, std::string code,
                             std::string name, std::string desc) {
  return PointText{std::move(id), std::move(code), std::move(name), std::move(desc),
                   counter_of(counter_key)};
}

void TableBuilder::add_module_point(std::size_t record, PointText text,
                                    std::uint8_t active_status) {
  if (m_table.modules.size() <= record) m_table.modules.resize(record + 1);
  m_table.modules[record].push_back(ModulePoint{std::move(text), active_status});
}

void TableBuilder::add(std::string_view counter_key, std::string id, std::string code,
                       std::string name, std::string desc, ListTest test) {
  m_table.list_points.push_back(
      ListPoint{text(counter_key, std::move(id), std::move(code), std::move(name), std::move(desc)),
                test});
}

CounterId TableBuilder::counter_of(std::string_view key) {
  const auto known = std::find(m_counterKeys.begin(), m_counterKeys.end(), key);
  if (known != m_counterKeys.end()) return static_cast<CounterId>(known - m_counterKeys.begin());
  if (m_counterKeys.size() == kMaxCounterKeys)
    throw std::logic_error("alarm table: more counter keys than the round's counter holds");
  m_counterKeys.emplace_back(key);
  return static_cast<CounterId>(m_counterKeys.size() - 1);
}

const AlarmTable& alarm_table() {
  static const AlarmTable table = build_alarm_table();
  return table;
}

}  // namespace qmr4100::alarms
