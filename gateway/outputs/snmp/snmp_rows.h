// The rows the QMR4100-MIB shows of one device state, in the MIB's own units:
// values in tenths, absent where the device gives no current value.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/device_state.h"

namespace qmr4100::gateway {

struct SnmpDeviceRow {
  unsigned int data_id = 0;
  std::string name;
  Health health = Health::Unknown;
  // The last three are absent until the device has published.
  std::optional<std::uint32_t> seconds_since_published;
  std::optional<std::uint32_t> module_count;
  std::optional<std::int32_t> system_value;  // tenths
  std::uint64_t published = 0;
  std::uint64_t abandoned = 0;
  std::uint64_t failed = 0;
  std::uint64_t error_replies = 0;  // every return code
  std::uint32_t active_alarms = 0;
};

struct SnmpModuleRow {
  unsigned int data_id = 0;
  std::uint32_t number = 0;            // from 1
  std::optional<std::int32_t> value;   // tenths; absent without communication
  std::uint8_t status = 0;
  bool fault = false;
  bool comm_failure = false;
};

SnmpDeviceRow snmp_device_row(const DeviceState& device, WallClock::time_point now);
// One row per module the last block announced (at most 64); none before it.
std::vector<SnmpModuleRow> snmp_module_rows(const DeviceState& device);

// The block's floats hold tenths divided by ten: 53.5 is 535.
std::int32_t to_tenths(float value);
// 535 is "53.5", -5 is "-0.5".
std::string tenths_text(std::int32_t tenths);
// SnmpAdminString holds at most 255 octets: longer UTF-8 text is cut before
// the character that would not fit.
std::string admin_string(const std::string& text);
// SNMPv2-TC DateAndTime in UTC: 11 octets, year big-endian, deci-seconds, "+0:0".
std::string date_and_time(WallClock::time_point time);

}  // namespace qmr4100::gateway
