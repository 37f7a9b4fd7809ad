// The record's events, one JSON object each, named by their "event" member.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include <json/value.h>

#include "config/config.h"
#include "host/AlarmEngine.h"
#include "host/rule_value.h"
#include "model/device_state.h"

namespace qmr4100::gateway {

Json::Value snapshot_event(unsigned int data_id, int sp, const unsigned char* data,
                           unsigned int length);
Json::Value threshold_event(unsigned int data_id, const rule_value& value);
// How many points the batch evaluated and how many of them are active.
Json::Value batch_event(unsigned int data_id, std::size_t count, std::size_t active);
Json::Value alarm_event(unsigned int data_id, const AlarmEngine::Transition& transition);

// A cycle given up by the gateway: an answer did not come in time, or the port failed.
Json::Value abandoned_event(unsigned int data_id, int step, const std::string& reason);
// A cycle the driver ended itself (its step went back to 0), or an error reply ended.
Json::Value cycle_failed_event(unsigned int data_id, int step, const std::string& reason);
// A frame the protocol layer could not use, or an answer carrying an error code.
Json::Value protocol_error_event(unsigned int data_id, int step, std::string_view problem);
Json::Value log_event(const std::string& line);
// A line the driver wrote to standard output, as it wrote it.
Json::Value driver_output_event(const std::string& line);
Json::Value health_event(unsigned int data_id, const HealthChange& change);

Json::Value port_unopened_event(const std::string& port, const std::string& error);
Json::Value port_lost_event(const std::string& port, const std::string& error);
Json::Value port_restored_event(const std::string& port);

Json::Value cache_restored_event(unsigned int data_id, const std::string& path);
Json::Value cache_problem_event(unsigned int data_id, const std::string& problem);
// A cache file is saved again after saving it failed.
Json::Value cache_saved_again_event(unsigned int data_id, const std::string& path);
// Active alarm points a restarted gateway took over from the last run.
Json::Value alarms_restored_event(unsigned int data_id, const std::string& path,
                                  std::size_t count);

// The gateway's run: its version, its configuration file (null without one)
// and its devices.
Json::Value gateway_started_event(const std::string& version, const std::string& config_path,
                                  const std::vector<DeviceConfig>& devices);
// Why it stopped, and the cycles each device published.
Json::Value gateway_stopped_event(const std::string& reason,
                                  const std::map<unsigned int, int>& published);
// Events the record could not keep (a full disk, a removed folder): how many,
// since when and why.
Json::Value record_lost_event(std::uint64_t count, const std::string& since,
                              const std::string& problem);

}  // namespace qmr4100::gateway
