// `qmr4100ctl check`: the gateway's devices judged as a monitoring plug-in
// reports them (Nagios, Icinga, Zabbix, Checkmk): a status, one line of text
// and performance data.
//   CRITICAL  a device offline, or an active alarm point of severity
//             critical or major (a point without a severity counts as major)
//   WARNING   an active point of severity minor or warning, stale data, or a
//             last publication older than the maximum age
//   UNKNOWN   a device not published yet, or the gateway not to be asked
// --warning and --critical, when given, judge the number of active points
// instead of their severities.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <json/value.h>

#include "threshold.h"

namespace qmr4100::ctl {

// The exit statuses of the plug-in conventions.
enum class Status { Ok = 0, Warning = 1, Critical = 2, Unknown = 3 };

const char* status_name(Status status);
// CRITICAL over WARNING over UNKNOWN over OK, as the plug-ins combine them.
Status worse(Status a, Status b);

struct CheckOptions {
  std::optional<Threshold> warning;  // on each device's alarms_active
  std::optional<Threshold> critical;
  std::optional<double> max_age;  // seconds; unset: 3 periods of the device, at least 1 s
};

struct DeviceFacts {
  Json::Value detail;            // /api/v1/devices/ID
  std::optional<double> period;  // seconds between its publications, when known
};

struct CheckOutcome {
  Status status;
  std::string text;  // "QMR4100 CRITICAL - ... | 'system_value'=53.5;;; ..."
};

// `now` in Unix seconds. Performance data are named plainly for one device,
// and prefixed with the data id ('1000_system_value') for several.
CheckOutcome check_devices(const std::vector<DeviceFacts>& devices, double now,
                           const CheckOptions& options);
// UNKNOWN with `reason`: the gateway unreachable, no such device, bad usage.
CheckOutcome check_unknown(const std::string& reason);

// The device's configured interval when it has one above 0.
std::optional<double> configured_period(const Json::Value& detail);
// The median gap between the last publications of a history; nullopt for
// fewer than two.
std::optional<double> observed_period(const Json::Value& history);

}  // namespace qmr4100::ctl
