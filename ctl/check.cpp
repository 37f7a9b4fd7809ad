#include "check.h"

#include <algorithm>
#include <array>
#include <map>

#include <fmt/format.h>

#include "api_values.h"
#include "duration.h"

namespace qmr4100::ctl {
namespace {

constexpr double kPeriodsBeforeStale = 3;
constexpr double kMinimumMaxAge = 1;
constexpr std::size_t kNamesShown = 3;
constexpr std::size_t kGapsForPeriod = 20;

// CRITICAL over WARNING over UNKNOWN over OK, as the plug-ins combine them.
int rank(Status status) {
  constexpr std::array<int, 4> kRank{0, 2, 3, 1};  // OK, WARNING, CRITICAL, UNKNOWN
  return kRank[static_cast<std::size_t>(status)];
}

// One thing found on a device.
struct Finding {
  Status status;
  std::string text;
};

Status severity_status(const std::string& severity) {
  if (severity == "minor" || severity == "warning") return Status::Warning;
  return Status::Critical;  // critical, major, and any the gateway may add
}

// "alarm NAME (major)", or "3 alarm points active: NAME (major), ... and 1 more".
std::string alarm_list(const Json::Value& alarms) {
  std::vector<std::string> names;
  for (const Json::Value& alarm : alarms)
    names.push_back(fmt::format("{} ({})", alarm["name"].asString(), severity_of(alarm)));
  if (names.size() == 1) return "alarm " + names.front();
  std::string text = fmt::format("{} alarm points active: ", names.size());
  for (std::size_t i = 0; i < std::min(names.size(), kNamesShown); ++i)
    text += (i ? ", " : "") + names[i];
  if (names.size() > kNamesShown) text += fmt::format(" and {} more", names.size() - kNamesShown);
  return text;
}

std::optional<Finding> alarm_finding(const Json::Value& alarms, const CheckOptions& options) {
  const double count = alarms.size();
  if (options.warning || options.critical) {
    const auto over = [&](const char* which, const Threshold& t) {
      return fmt::format("{} alarm points active ({} threshold {})", alarms.size(), which,
                         t.Text());
    };
    if (options.critical && options.critical->Alerts(count))
      return Finding{Status::Critical, over("critical", *options.critical)};
    if (options.warning && options.warning->Alerts(count))
      return Finding{Status::Warning, over("warning", *options.warning)};
    return std::nullopt;
  }
  if (alarms.empty()) return std::nullopt;
  Status status = Status::Ok;
  for (const Json::Value& alarm : alarms)
    status = worse(status, severity_status(severity_of(alarm)));
  return Finding{status, alarm_list(alarms)};
}

std::optional<double> max_age_of(const DeviceFacts& device, const CheckOptions& options) {
  if (options.max_age) return options.max_age;
  if (!device.period) return std::nullopt;
  return std::max(kPeriodsBeforeStale * *device.period, kMinimumMaxAge);
}

std::vector<Finding> findings_of(const DeviceFacts& device, double now,
                                 const CheckOptions& options) {
  const Json::Value& detail = device.detail;
  const std::string health = detail["health"].asString();
  std::vector<Finding> found;
  if (health == "offline")
    found.push_back({Status::Critical, "offline: " + detail["health_reason"].asString()});
  if (health == "unknown") found.push_back({Status::Unknown, "not published yet"});
  if (detail["stale"].asBool()) found.push_back({Status::Warning, "data stale"});
  if (auto alarms = alarm_finding(detail["alarms"], options)) found.push_back(*alarms);
  const std::optional<double> last = unix_time(detail["last_publication"]);
  const std::optional<double> max_age = max_age_of(device, options);
  if (health == "online" && last && max_age && now - *last > *max_age)
    found.push_back({Status::Warning,
                     fmt::format("last publication {} ago (more than {})",
                                 age_text(Seconds(now - *last)), age_text(Seconds(*max_age)))});
  return found;
}

std::string perf(const std::string& label, const std::string& value, const std::string& warn = "",
                 const std::string& crit = "") {
  return fmt::format("'{}'={};{};{}; ", label, value, warn, crit);
}

std::string device_perf(const DeviceFacts& device, double now, const CheckOptions& options,
                        const std::string& prefix) {
  const Json::Value& detail = device.detail;
  const Json::Value& view = detail["view"];
  std::string out;
  // Values of a device that is not publishing are old ones: none.
  const bool current = detail["health"] == "online" && !detail["stale"].asBool();
  if (current && view.isMember("system_value"))
    out += perf(prefix + "system_value", number_text(view["system_value"]));
  out += perf(prefix + "alarms_active", std::to_string(detail["alarms"].size()),
              options.warning ? options.warning->Text() : "",
              options.critical ? options.critical->Text() : "");
  if (const std::optional<double> last = unix_time(detail["last_publication"]))
    out += perf(prefix + "age", fmt::format("{:.3f}s", std::max(now - *last, 0.0)));
  if (current)
    for (const Json::Value& module : view["modules"])
      if (!module["value"].isNull())
        out += perf(fmt::format("{}module_{}_value", prefix, module["module"].asUInt()),
                    number_text(module["value"]));
  return out;
}

// The status line may not hold the separator of the performance data.
std::string without_bar(std::string text) {
  std::replace(text.begin(), text.end(), '|', '/');
  std::replace(text.begin(), text.end(), '\n', ' ');
  return text;
}

std::string ok_text(const std::vector<DeviceFacts>& devices) {
  std::size_t alarms = 0;
  for (const DeviceFacts& device : devices) alarms += device.detail["alarms"].size();
  const std::string points =
      alarms == 0 ? "no active alarm point" : fmt::format("{} alarm points active", alarms);
  if (devices.size() == 1)
    return fmt::format("{} online, {}", device_title(devices[0].detail), points);
  return fmt::format("{} devices online, {}", devices.size(), points);
}

}  // namespace

const char* status_name(Status status) {
  switch (status) {
    case Status::Ok: return "OK";
    case Status::Warning: return "WARNING";
    case Status::Critical: return "CRITICAL";
    case Status::Unknown: return "UNKNOWN";
  }
  return "UNKNOWN";
}

Status worse(Status a, Status b) { return rank(a) >= rank(b) ? a : b; }

CheckOutcome check_devices(const std::vector<DeviceFacts>& devices, double now,
                           const CheckOptions& options) {
  if (devices.empty()) return check_unknown("the gateway has no devices");
  Status status = Status::Ok;
  // Worst first, then in the gateway's order.
  std::multimap<int, std::string, std::greater<>> problems;
  std::string performance;
  std::size_t online = 0;
  for (const DeviceFacts& device : devices) {
    for (const Finding& finding : findings_of(device, now, options)) {
      status = worse(status, finding.status);
      problems.emplace(rank(finding.status),
                       fmt::format("{}: {}", device_title(device.detail), finding.text));
    }
    online += device.detail["health"] == "online";
    const std::string prefix =
        devices.size() == 1 ? "" : fmt::format("{}_", device.detail["data_id"].asUInt());
    performance += device_perf(device, now, options, prefix);
  }
  if (devices.size() > 1)
    performance = perf("devices_online", std::to_string(online)) +
                  perf("devices_offline", std::to_string(devices.size() - online)) + performance;
  std::string text;
  for (const auto& problem : problems) text += (text.empty() ? "" : "; ") + problem.second;
  if (text.empty()) text = ok_text(devices);
  performance.pop_back();
  return {status,
          fmt::format("QMR4100 {} - {} | {}", status_name(status), without_bar(text), performance)};
}

CheckOutcome check_unknown(const std::string& reason) {
  return {Status::Unknown, fmt::format("QMR4100 UNKNOWN - {}", without_bar(reason))};
}

std::optional<double> configured_period(const Json::Value& detail) {
  const Json::Value& interval = detail["interval"];
  if (!interval.isNumeric() || interval.asDouble() <= 0) return std::nullopt;
  return interval.asDouble();
}

std::optional<double> observed_period(const Json::Value& history) {
  const Json::Value& times = history["time"];
  if (times.size() < 2) return std::nullopt;
  std::vector<double> gaps;
  for (Json::ArrayIndex i = times.size() - 1; i > 0 && gaps.size() < kGapsForPeriod; --i)
    gaps.push_back(times[i].asDouble() - times[i - 1].asDouble());
  std::nth_element(gaps.begin(), gaps.begin() + gaps.size() / 2, gaps.end());
  return gaps[gaps.size() / 2];
}

}  // namespace qmr4100::ctl
