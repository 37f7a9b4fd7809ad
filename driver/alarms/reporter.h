// The reporting step every alarm point goes through: count the point under
// its counter key and hand it to the host with that count as sequence number.
#pragma once

#include <vector>

#include "driver/alarms/alarm_table.h"
#include "driver/alarms/sequence_counter.h"
#include "driver/alarm_item.h"
#include "driver/snapshot_layout.h"

class SMDVDevice;

namespace qmr4100::alarms {

class Reporter {
 public:
  // One reporter per round completion: its counter starts empty.
  explicit Reporter(SMDVDevice& device) : m_device(device) {}

  void report(const PointText& point, bool active);

 private:
  SMDVDevice& m_device;
  SequenceCounter m_counter;
};

// Reports every point of the alarm table, in its fixed order: the rectifier
// modules the block lists, then the points tested against the alarm list.
void report_alarm_table(SMDVDevice& device, const Block& block,
                        const std::vector<alarm_item>& list);

}  // namespace qmr4100::alarms
