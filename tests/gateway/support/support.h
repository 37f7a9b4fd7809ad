// Helpers of the gateway tests: temporary directories, the run's record read
// back, and gateway options for a quick bounded run.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include <json/value.h>
#include <json/writer.h>  // prints a Json::Value in failure messages

#include "driver/snapshot_layout.h"
#include "run/gateway.h"

namespace gwtest {

// A fresh directory, removed with everything in it at the end of the test.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string File(const std::string& name) const { return (m_path / name).string(); }
  const std::filesystem::path& Path() const { return m_path; }

 private:
  std::filesystem::path m_path;
};

// $CREDENTIALS_DIRECTORY as systemd sets it for a service, for one test.
class CredentialsDirectory {
 public:
  explicit CredentialsDirectory(const std::string& path);
  ~CredentialsDirectory();
  CredentialsDirectory(const CredentialsDirectory&) = delete;
  CredentialsDirectory& operator=(const CredentialsDirectory&) = delete;
};

std::vector<Json::Value> read_record(const std::string& path);
std::vector<Json::Value> events_named(const std::vector<Json::Value>& record,
                                      const std::string& name);
qmr4100::Block block_of(const Json::Value& snapshot_event);

// One device on `port`, back-to-back cycles, short answer timeout, a deadline
// that bounds the run, the record in `record_path`.
qmr4100::gateway::GatewayOptions quick_options(const std::string& port,
                                               const std::string& record_path, int cycles);

}  // namespace gwtest
