#include "alarms/reporter.h"

#include "host/SMDVDevice.h"

namespace qmr4100::alarms {

namespace {
// Every alarm point of this device is reported at the same level.
constexpr int kAlarmLevel = 2;
}  // namespace

void Reporter::report(std::string_view counter_key, const std::string& id,
                      const std::string& code, const std::string& name, const std::string& desc,
                      bool active) {
  const auto sequence = static_cast<unsigned short>(count(counter_key));
  m_device.CheckThresholdBool(kAlarmLevel, id, code, name, desc, active, sequence);
}

int Reporter::count(std::string_view counter_key) {
  auto found = m_counter.find(counter_key);
  if (found == m_counter.end()) found = m_counter.emplace(counter_key, 0).first;
  return ++found->second;
}

}  // namespace qmr4100::alarms
