// The gateway's configuration parser over arbitrary text, read as a file is
// read, and the MQTT URL parser over the same bytes (a file reaches it only
// through mqtt.url). They may refuse only with ConfigError, each line of it
// naming the file, short and in UTF-8; what they accept must be within the
// documented ranges.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "config/config.h"
#include "config/setting_checks.h"
#include "config/value_names.h"
#include "fuzz_check.h"
#include "text/utf8.h"

namespace gw = qmr4100::gateway;

namespace {

constexpr const char* kPath = "fuzz.json";
// A key path, a value cut to 60 characters and the list of what is allowed.
constexpr std::size_t kMaxMessageLine = 1000;

void check_message(const std::string& message, const std::string& start) {
  std::istringstream lines(message);
  for (std::string line; std::getline(lines, line);) {
    FUZZ_CHECK(line.rfind(start, 0) == 0);
    FUZZ_CHECK(line.size() <= kMaxMessageLine);
  }
  FUZZ_CHECK(gw::is_utf8(message));
}

void check_url(const std::string& url) {
  try {
    const gw::MqttBroker broker = gw::parse_mqtt_url(url, "url");
    FUZZ_CHECK(!broker.host.empty() && broker.host.size() <= gw::kMaxHostName);
    FUZZ_CHECK(broker.port >= 1 && broker.port <= 65535);
  } catch (const gw::ConfigError& error) {
    check_message(error.what(), "url: ");
  }
}

void check_labels(const gw::FieldLabels& fields) {
  for (const auto& [name, label] : fields) {
    FUZZ_CHECK(gw::value_key(name) == name);
    FUZZ_CHECK(gw::is_clean_text(label.label) && gw::is_clean_text(label.unit));
  }
}

void check_accepted(const gw::GatewayConfig& config) {
  FUZZ_CHECK(!config.devices.empty());
  for (const gw::DeviceConfig& device : config.devices) {
    FUZZ_CHECK(!device.port.empty() && gw::is_clean_text(device.port) && device.address <= 255);
    FUZZ_CHECK(gw::is_clean_text(device.name) && gw::is_baud(device.baud));
    FUZZ_CHECK(!device.interval || gw::fits(gw::kIntervalRange, *device.interval));
    check_labels(device.fields);
  }
  FUZZ_CHECK(gw::fits(gw::kIntervalRange, config.interval));
  FUZZ_CHECK(gw::fits(gw::kTimeoutRange, config.timeout));
  FUZZ_CHECK(config.record_max_mb == 0 || gw::fits(gw::kRecordMbRange, config.record_max_mb));
  check_labels(config.fields);
  FUZZ_CHECK(config.mqtt.prefix.find_first_of("+#") == std::string::npos);
  if (config.mqtt.Enabled()) gw::parse_mqtt_url(config.mqtt.url);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  check_url(text);
  gw::GatewayConfig config;
  try {
    config = gw::parse_config_text(text, kPath);
  } catch (const gw::ConfigError& error) {
    check_message(error.what(), std::string(kPath) + ": ");
    return 0;
  }
  check_accepted(config);
  return 0;
}
