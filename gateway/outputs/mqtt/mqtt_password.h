// The broker password the MQTT output logs in with: the service's credential
// "mqtt-password" when systemd handed one over ($CREDENTIALS_DIRECTORY, from
// the unit's LoadCredential=), otherwise the first line of the password file.
#pragma once

#include <functional>
#include <string>

#include "outputs/mqtt/mqtt_settings.h"

namespace qmr4100::gateway {

constexpr const char* kMqttPasswordCredential = "mqtt-password";

// Empty when neither is there. A password file that other users may read
// gets one warning through `warn`, naming the file. Throws ConfigError when a
// password has no user, std::runtime_error when it cannot be read.
std::string mqtt_password(const MqttSettings& settings,
                          const std::function<void(const std::string&)>& warn);

}  // namespace qmr4100::gateway
