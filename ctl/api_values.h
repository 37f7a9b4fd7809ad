// Reading the values of the gateway's JSON documents for people: times,
// numbers, names, severities and labels.
#pragma once

#include <optional>
#include <string>

#include <json/value.h>

namespace qmr4100::ctl {

// Unix seconds of an API time, "2026-12-08T21:05:39.412Z"; nullopt for
// anything else (null before the first publication).
std::optional<double> unix_time(const Json::Value& utc);
// "2026-12-08T21:05:39.412Z", as the API writes times.
std::string utc_text(double unix_seconds);
// A number as the gateway wrote it (53.5, 12); "-" for null.
std::string number_text(const Json::Value& value);
// "device 1000 (Site A)", or "device 1000" when it has no name of its own.
std::string device_title(const Json::Value& device);
// An alarm point's severity; "major" for a gateway that gives none.
std::string severity_of(const Json::Value& alarm);

// The configured label of a value of the decoded view ("" for none) and its unit.
struct Label {
  std::string label;
  std::string unit;
};
Label label_of(const Json::Value& view, const std::string& key);

}  // namespace qmr4100::ctl
