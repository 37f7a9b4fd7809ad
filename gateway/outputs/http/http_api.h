// The JSON documents of the HTTP API (/api/v1/...) and of its event stream,
// all read from the device state model.
#pragma once

#include <string>

#include <json/value.h>

#include "model/device_state.h"

namespace qmr4100::gateway {

// data_id, name, port, address, interval (seconds; 0: back to back),
// health, health_reason, health_since (UTC, null while unknown), stale (a
// last block is kept but the device is not online), last_publication (UTC or
// null), counters {published, abandoned, failed, retries, error_replies {code: n}}.
Json::Value device_summary(const DeviceState& device);
// The summary, plus the decoded view as "view" and the active alarm points
// as "alarms" [{id, code, name, desc, seq, since}].
Json::Value device_detail(const DeviceState& device);
// The history ring as columns, oldest first: time (Unix seconds),
// system_value, value_95, modules [per module: values], values_a2 [per
// index: values], data_id, capacity; null where a module had no
// communication. The JSON text itself.
std::string device_history_text(const DeviceState& device);
// The newest sample of the history in the same columns, one value each.
Json::Value latest_sample(const DeviceState& device);

Json::Value alarm_event(const DeviceState& device, const AlarmChange& change);
Json::Value health_event(const DeviceState& device, const HealthChange& change);

}  // namespace qmr4100::gateway
