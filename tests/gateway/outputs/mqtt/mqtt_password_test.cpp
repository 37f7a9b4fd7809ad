// Where the MQTT output's password comes from: the service's credential
// before the password file, and a warning for a file others may read.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "config/config.h"
#include "outputs/mqtt/mqtt_password.h"
#include "support.h"

namespace gw = qmr4100::gateway;
namespace fs = std::filesystem;

namespace {

struct PasswordCase {
  const char* name;
  fs::perms file_mode;     // of the password file "file-password"; none: no file
  bool credential;         // "credential-password" handed over as the service's credential
  const char* expected;    // the password read
  bool warned;             // one warning naming the file
};

void PrintTo(const PasswordCase& row, std::ostream* out) { *out << row.name; }

constexpr fs::perms kPrivate = fs::perms::owner_read | fs::perms::owner_write;
constexpr fs::perms kGroup = kPrivate | fs::perms::group_read;
constexpr fs::perms kEveryone = kGroup | fs::perms::others_read;

const PasswordCase kPasswords[] = {
    {"private file", kPrivate, false, "file-password", false},
    {"file of the group", kGroup, false, "file-password", false},
    {"file everyone reads", kEveryone, false, "file-password", true},
    {"credential before the file", kEveryone, true, "credential-password", false},
    {"credential alone", fs::perms::none, true, "credential-password", false},
    {"neither", fs::perms::none, false, "", false},
};

class MqttPassword : public testing::TestWithParam<PasswordCase> {};

TEST_P(MqttPassword, ComesFromTheCredentialOrTheFile) {
  const PasswordCase& row = GetParam();
  gwtest::TempDir dir;
  gw::MqttSettings settings;
  settings.user = "gateway";
  if (row.file_mode != fs::perms::none) {
    settings.password_file = dir.File("password");
    std::ofstream(settings.password_file) << "file-password\n";
    fs::permissions(settings.password_file, row.file_mode);
  }
  fs::create_directory(dir.File("credentials"));
  if (row.credential)
    std::ofstream(dir.File("credentials/mqtt-password")) << "credential-password";
  gwtest::CredentialsDirectory credentials(dir.File("credentials"));

  std::vector<std::string> warnings;
  EXPECT_EQ(gw::mqtt_password(settings, [&](const std::string& line) { warnings.push_back(line); }),
            row.expected);
  ASSERT_EQ(warnings.size(), row.warned ? 1u : 0u);
  if (row.warned) {
    EXPECT_NE(warnings[0].find(settings.password_file), std::string::npos) << warnings[0];
    EXPECT_EQ(warnings[0].find("file-password"), std::string::npos) << warnings[0];
  }
}

INSTANTIATE_TEST_SUITE_P(Table, MqttPassword, testing::ValuesIn(kPasswords));

TEST(MqttPassword, CredentialWithoutAUserIsRefused) {
  gwtest::TempDir dir;
  std::ofstream(dir.File("mqtt-password")) << "secret\n";
  gwtest::CredentialsDirectory credentials(dir.Path().string());
  EXPECT_THROW(gw::mqtt_password({}, [](const std::string&) {}), gw::ConfigError);
}

}  // namespace
