// The active alarm points of one device, kept beside its snapshot cache file
// (varnok_qmr4100-<data id>.alarms) so that a restarted gateway goes on with
// them and the times they became active, instead of raising them all again.
// One JSON object:
//   {"format": "qmr4100-alarms", "version": 1, "data_id": 1000,
//    "active": [{"id": ..., "code": ..., "name": ..., "desc": ..., "seq": 2,
//                "level": 2, "since": "2026-12-08T21:05:39.123Z"}, ...]}
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/device_state.h"

namespace qmr4100::gateway::alarm_file {

std::string encode(unsigned int data_id, const std::vector<ActiveAlarm>& alarms);

// The points of device `data_id`; nullopt with `problem` saying what is wrong.
std::optional<std::vector<ActiveAlarm>> decode(const std::string& text, unsigned int data_id,
                                               std::string& problem);

}  // namespace qmr4100::gateway::alarm_file
