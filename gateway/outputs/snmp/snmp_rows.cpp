#include "outputs/snmp/snmp_rows.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ctime>

#include <fmt/format.h>

namespace qmr4100::gateway {
namespace {

using namespace qmr4100::layout;

std::uint64_t sum_of(const std::map<std::string, std::uint64_t>& counts) {
  std::uint64_t sum = 0;
  for (const auto& entry : counts) sum += entry.second;
  return sum;
}

std::uint32_t seconds_between(WallClock::time_point from, WallClock::time_point to) {
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(to - from).count();
  return static_cast<std::uint32_t>(std::clamp<std::int64_t>(seconds, 0, UINT32_MAX));
}

}  // namespace

std::int32_t to_tenths(float value) {
  // Tenths of the 16-bit line values fit; anything else a float can hold is clamped.
  const double tenths = std::round(static_cast<double>(value) * 10);
  if (!(tenths > INT32_MIN)) return INT32_MIN;
  return tenths < INT32_MAX ? static_cast<std::int32_t>(tenths) : INT32_MAX;
}

std::string tenths_text(std::int32_t tenths) {
  const std::int64_t magnitude = std::llabs(static_cast<std::int64_t>(tenths));
  return fmt::format("{}{}.{}", tenths < 0 ? "-" : "", magnitude / 10, magnitude % 10);
}

std::string admin_string(const std::string& text) {
  constexpr std::size_t kMaxOctets = 255;
  if (text.size() <= kMaxOctets) return text;
  std::size_t end = kMaxOctets;
  // Back over continuation octets (10xxxxxx) to the start of the cut character.
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

std::string date_and_time(WallClock::time_point time) {
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
  const std::time_t seconds = static_cast<std::time_t>(millis / 1000);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  const int year = utc.tm_year + 1900;
  const int fields[] = {year >> 8,   year & 0xFF, utc.tm_mon + 1,
                        utc.tm_mday, utc.tm_hour, utc.tm_min,
                        utc.tm_sec,  static_cast<int>(millis % 1000 / 100)};
  std::string octets;
  for (int field : fields) octets.push_back(static_cast<char>(field));
  return octets + std::string("+\0\0", 3);  // direction and offset from UTC
}

SnmpDeviceRow snmp_device_row(const DeviceState& device, WallClock::time_point now) {
  SnmpDeviceRow row;
  row.data_id = device.DataId();
  row.name = device.Name();
  row.health = device.CurrentHealth();
  if (const std::optional<Block>& block = device.LastBlock()) {
    row.seconds_since_published = seconds_between(device.Received(), now);
    row.module_count = (*block)[kModuleCount];
    row.system_value = to_tenths(get_f32le(*block, kSystemValue));
  }
  const Counters& counts = device.Count();
  row.published = counts.published;
  row.abandoned = counts.abandoned;
  row.failed = counts.failed;
  row.error_replies = sum_of(counts.error_replies);
  row.active_alarms = static_cast<std::uint32_t>(device.Alarms().size());
  return row;
}

std::vector<SnmpModuleRow> snmp_module_rows(const DeviceState& device) {
  std::vector<SnmpModuleRow> rows;
  const std::optional<Block>& block = device.LastBlock();
  if (!block) return rows;
  const std::size_t count = std::min<std::size_t>((*block)[kModuleCount], kMaxModules);
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t record = module_record(i);
    SnmpModuleRow row;
    row.data_id = device.DataId();
    row.number = static_cast<std::uint32_t>(i + 1);
    row.status = (*block)[record + kModuleStatus];
    row.fault = row.status == kModuleFault;
    row.comm_failure = row.status == kModuleCommFailure;
    // A module without communication has no current reading, only a stale one.
    if (!row.comm_failure) row.value = to_tenths(get_f32le(*block, record + kModuleValue));
    rows.push_back(row);
  }
  return rows;
}

}  // namespace qmr4100::gateway
