// The tables qmr4100ctl prints, made from the gateway's JSON documents.
// `now` is Unix seconds, for the ages.
#pragma once

#include <string>
#include <vector>

#include <json/value.h>

namespace qmr4100::ctl {

// /api/v1/devices: one row per device.
std::string devices_text(const Json::Value& devices, double now);
// /api/v1/devices/ID: the device, its decoded view (labelled where the
// configuration gives labels), its modules and its active alarm points.
std::string device_text(const Json::Value& detail, double now);
// The active alarm points of the devices' details, one row each.
std::string alarms_text(const std::vector<Json::Value>& details);
// /api/v1/devices/ID/history: one row per publication, oldest first;
// `view` gives the labels of the columns.
std::string history_text(const Json::Value& history, const Json::Value& view);

// The history with only the publications at or after `since` (Unix
// seconds), in the same columns.
Json::Value history_since(const Json::Value& history, double since);

}  // namespace qmr4100::ctl
