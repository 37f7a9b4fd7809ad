// What the gateway polls and how: devices on serial lines, the polling
// interval, the answer timeout and where snapshot copies are kept.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include <json/value.h>

namespace qmr4100::gateway {

struct DeviceConfig {
  std::string port;          // serial device path; devices sharing one form an RS-485 bus
  unsigned int address = 1;  // ADR of the power system on its line
  unsigned int data_id = 1000;
};

struct GatewayConfig {
  std::vector<DeviceConfig> devices;
  double interval = 5.0;  // seconds from one cycle's start to the next; 0: back to back
  double timeout = 2.0;   // seconds an answer may take
  std::string cache_dir;  // empty: no snapshot cache
};

// Names the key, the value and what is allowed, e.g.
// "devices[1].address: 300 is not allowed (allowed: 0..255)".
class ConfigError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Settings missing from `json` keep the values of `defaults`.
GatewayConfig parse_config(const Json::Value& json, GatewayConfig defaults = {});
// Reads and parses a JSON file; errors name the file too.
GatewayConfig load_config(const std::string& path, GatewayConfig defaults = {});

}  // namespace qmr4100::gateway
