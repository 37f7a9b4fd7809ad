// The reporting step every alarm point goes through: count the point under its
// counter key and hand it to the host with that count as sequence number.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>

class SMDVDevice;

namespace qmr4100::alarms {

class Reporter {
 public:
  // One reporter per round completion: its counter starts empty, so every
  // key's sequence numbers start again at 1 in each polling cycle.
  explicit Reporter(SMDVDevice& device) : m_device(device) {}

  // Reports one point; `counter_key` is normally the code itself.
  void report(std::string_view counter_key, const std::string& id, const std::string& code,
              const std::string& name, const std::string& desc, bool active);

 private:
  int count(std::string_view counter_key);

  SMDVDevice& m_device;
  std::map<std::string, int, std::less<>> m_counter;
};

}  // namespace qmr4100::alarms
