// The gateway's configuration parser over arbitrary JSON text. It may refuse
// only with ConfigError; what it accepts must be within the documented ranges.
#include <cstddef>
#include <cstdint>

#include "config.h"
#include "fuzz_check.h"
#include "json_text.h"

namespace gw = qmr4100::gateway;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto json = qmr4100::fuzz::parse_json(data, size, false);
  if (!json) return 0;
  gw::GatewayConfig config;
  try {
    config = gw::parse_config(*json);
  } catch (const gw::ConfigError&) {
    return 0;
  }
  FUZZ_CHECK(!config.devices.empty());
  for (const gw::DeviceConfig& device : config.devices) {
    FUZZ_CHECK(!device.port.empty() && device.address <= 255);
  }
  FUZZ_CHECK(config.interval >= 0 && config.timeout > 0);
  return 0;
}
