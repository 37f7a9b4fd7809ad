// The groups of the alarm table, in the order round completion walks them.
// All groups of one round share one reporter and thus one per-code counter.
#pragma once

#include <vector>

#include "alarms/reporter.h"
#include "driver/alarm_item.h"
#include "driver/snapshot_layout.h"

namespace qmr4100::alarms {

// Rectifier modules (from the block's status bytes), battery-group series
// and module series.
void report_module_alarms(Reporter& reporter, const Block& block,
                          const std::vector<alarm_item>& list);
// AC distribution screen and ATS.
void report_ac_alarms(Reporter& reporter, const std::vector<alarm_item>& list);
// DC distribution: communication, then the screen pass, which ends with the
// battery, cabinet and environment points (dc_screen_pass.h).
void report_dc_alarms(Reporter& reporter, const std::vector<alarm_item>& list);
// System-wide points.
void report_system_alarms(Reporter& reporter, const std::vector<alarm_item>& list);

}  // namespace qmr4100::alarms
