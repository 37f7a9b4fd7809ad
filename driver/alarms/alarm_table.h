// The alarm table: every point round completion reports, with its four texts
// built once per process. Only the states and sequence numbers are worked out
// per round. Immutable after its first use; all devices share it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "driver/alarms/alarm_list.h"
#include "driver/alarms/sequence_counter.h"

namespace qmr4100::alarms {

// What a point hands to the host, and the key it is counted under.
struct PointText {
  std::string id;
  std::string code;
  std::string name;
  std::string desc;
  CounterId counter;
};

// A point of the rectifier modules, active when the module's status byte
// equals `active_status`.
struct ModulePoint {
  PointText text;
  std::uint8_t active_status;
};

// A point whose state comes from the alarm list.
struct ListPoint {
  PointText text;
  ListTest test;
};

struct AlarmTable {
  // modules[i]: the points of the module in record i, in report order.
  std::vector<std::vector<ModulePoint>> modules;
  // Every other point, in report order: the series, AC, DC and system groups.
  std::vector<ListPoint> list_points;
};

// Collects the points while the groups describe them.
class TableBuilder {
 public:
  // The point's texts, counted under `counter_key`.
  PointText text(std::string_view counter_key, std::string id, std::string code, std::string name,
                 std::string desc);

  void add_module_point(std::size_t record, PointText text, std::uint8_t active_status);
  // Appends the next list point, counted under `counter_key`.
  void add(std::string_view counter_key, std::string id, std::string code, std::string name,
           std::string desc, ListTest test);

  AlarmTable take() { return std::move(m_table); }

 private:
  CounterId counter_of(std::string_view key);

  AlarmTable m_table;
  std::vector<std::string> m_counterKeys;  // index = CounterId
};

// Built on first use (thread-safe), then shared read-only.
const AlarmTable& alarm_table();

}  // namespace qmr4100::alarms
