#include "outputs/mqtt/mqtt_password.h"

#include <cstdlib>
#include <filesystem>

#include <sys/stat.h>

#include "config/problems.h"

namespace qmr4100::gateway {
namespace {

// The credential's path, or empty when the service was given none.
std::string credential_path() {
  const char* directory = std::getenv("CREDENTIALS_DIRECTORY");
  if (directory == nullptr || *directory == '\0') return {};
  const std::filesystem::path path = std::filesystem::path(directory) / kMqttPasswordCredential;
  std::error_code ignored;  // a path that cannot be examined is no credential
  return std::filesystem::exists(path, ignored) ? path.string() : std::string();
}

bool others_may_read(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0 && (status.st_mode & S_IROTH) != 0;
}

}  // namespace

std::string mqtt_password(const MqttSettings& settings,
                          const std::function<void(const std::string&)>& warn) {
  const std::string credential = credential_path();
  const std::string& file = credential.empty() ? settings.password_file : credential;
  if (file.empty()) return {};
  if (settings.user.empty())
    throw ConfigError(credential.empty()
                          ? "mqtt: a password file needs a user (--mqtt-user)"
                          : "mqtt: the service's credential mqtt-password needs a user "
                            "(--mqtt-user or \"user\" under \"mqtt\")");
  if (credential.empty() && others_may_read(file))
    warn("MQTT: password file " + file +
         " is readable by every user of this machine; make it readable by the gateway alone "
         "(chmod 0640, group qmr4100) or hand it over as the service's credential mqtt-password");
  return read_password(file);
}

}  // namespace qmr4100::gateway
