// The groups of the alarm table. Each describes its points once, in report
// order, when the table is built; round completion walks them in the order
// declared here, all groups numbered by one per-code counter.
#pragma once

#include "driver/alarms/alarm_table.h"
#include "driver/alarms/reporter.h"
#include "driver/snapshot_layout.h"

namespace qmr4100::alarms {

// Rectifier modules (two points per module record), battery-group series and
// module series.
void add_module_alarms(TableBuilder& table);
// AC distribution screen and ATS.
void add_ac_alarms(TableBuilder& table);
// DC distribution: communication, then the screen pass, which ends with the
// battery, cabinet and environment points (dc_screen_pass.h).
void add_dc_alarms(TableBuilder& table);
// System-wide points.
void add_system_alarms(TableBuilder& table);

// The two points of every module the block lists, active by its status byte.
void report_rectifier_modules(Reporter& reporter, const AlarmTable& table, const Block& block);

}  // namespace qmr4100::alarms
