// What the gateway polls and how: devices on serial lines, the polling
// interval, the answer timeout and where snapshot copies are kept.
#pragma once

#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <json/value.h>

#include "config/problems.h"
#include "outputs/http/http_settings.h"
#include "outputs/mqtt/mqtt_settings.h"
#include "outputs/snmp/snmp_settings.h"

namespace qmr4100::gateway {

// An operator's name and unit for one value of the decoded view, e.g.
// "system_value" or "values_a2[0]"; the driver publishes them unnamed.
struct FieldLabel {
  std::string label;
  std::string unit;
};
using FieldLabels = std::map<std::string, FieldLabel>;

struct DeviceConfig {
  DeviceConfig() = default;
  DeviceConfig(std::string port_, unsigned int address_, unsigned int data_id_)
      : port(std::move(port_)), address(address_), data_id(data_id_) {}

  std::string port;          // serial device path; devices sharing one form an RS-485 bus
  unsigned int address = 1;  // ADR of the power system on its line
  unsigned int data_id = 1000;
  // Initialised so that {port, address, data_id} leaves the rest default.
  std::string name{};                // empty: "device <data id>"
  unsigned int baud = 9600;          // 1200..115200
  std::optional<double> interval{};  // seconds; unset: the gateway's interval
  FieldLabels fields{};              // the gateway's labels, overridden key by key
};

struct GatewayConfig {
  std::vector<DeviceConfig> devices;
  double interval = 5.0;  // seconds from one cycle's start to the next; 0: back to back
  double timeout = 2.0;   // seconds an answer may take
  std::string cache_dir;  // empty: no snapshot cache
  std::string record;     // empty: no record
  double record_max_mb = 0;  // record size that starts a new file; 0: never rotate
  int record_keep = 5;       // older record files kept when it rotates, 0..100
  bool record_trace = false;  // every alarm point's evaluation too, not only the batch
  int offline_after = 3;     // cycles without a publication that make a device offline
  FieldLabels fields;        // labels for every device
  MqttSettings mqtt;
  SnmpSettings snmp;         // the AgentX sub-agent; off without a socket
  std::optional<HttpListen> http;  // where the HTTP server listens; nullopt: off
};

// Settings missing from `json` keep the values of `defaults`.
GatewayConfig parse_config(const Json::Value& json, GatewayConfig defaults = {});
// Reads and parses a JSON file; each problem names the file too.
GatewayConfig load_config(const std::string& path, GatewayConfig defaults = {});
// The text of the file at `path`: strict JSON nested at most 100 levels deep.
GatewayConfig parse_config_text(const std::string& text, const std::string& path,
                                GatewayConfig defaults = {});

// The serial line a port path names: the same device written two ways
// (".", "..", a symlink) is one line. Paths that cannot be resolved stay as written.
std::string bus_of(const std::string& port);

}  // namespace qmr4100::gateway
