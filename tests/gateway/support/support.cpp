#include "support.h"

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include <unistd.h>

#include <json/reader.h>

namespace gwtest {

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  m_path = std::filesystem::temp_directory_path() /
           ("qmr4100-gw-test-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
  std::filesystem::remove_all(m_path);
  std::filesystem::create_directories(m_path);
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(m_path, ignored);
}

CredentialsDirectory::CredentialsDirectory(const std::string& path) {
  setenv("CREDENTIALS_DIRECTORY", path.c_str(), 1);
}

CredentialsDirectory::~CredentialsDirectory() { unsetenv("CREDENTIALS_DIRECTORY"); }

std::vector<Json::Value> read_record(const std::string& path) {
  std::ifstream file(path);
  if (!file) throw std::runtime_error(path + ": no record");
  Json::CharReaderBuilder builder;
  const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  std::vector<Json::Value> events;
  std::string line;
  while (std::getline(file, line)) {
    Json::Value event;
    std::string errors;
    if (!reader->parse(line.data(), line.data() + line.size(), &event, &errors))
      throw std::runtime_error(path + ": bad record line: " + errors);
    events.push_back(event);
  }
  return events;
}

std::vector<Json::Value> events_named(const std::vector<Json::Value>& record,
                                      const std::string& name) {
  std::vector<Json::Value> found;
  for (const Json::Value& event : record)
    if (event["event"].asString() == name) found.push_back(event);
  return found;
}

qmr4100::Block block_of(const Json::Value& snapshot_event) {
  const std::string hex = snapshot_event["bytes"].asString();
  qmr4100::Block block{};
  if (hex.size() != 2 * block.size()) throw std::runtime_error("snapshot of the wrong length");
  for (std::size_t i = 0; i < block.size(); ++i)
    block[i] = static_cast<std::uint8_t>(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
  return block;
}

qmr4100::gateway::GatewayOptions quick_options(const std::string& port,
                                               const std::string& record_path, int cycles) {
  qmr4100::gateway::GatewayOptions options;
  options.plugin_path = DRIVER_PLUGIN;  // the default is found relative to the gateway program
  options.config.devices = {{port, 1, 1000}};
  options.config.interval = 0;
  options.config.timeout = 0.2;
  options.config.record = record_path;
  options.cycles = cycles;
  options.deadline = 30;
  return options;
}

}  // namespace gwtest
