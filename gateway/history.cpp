#include "history.h"

#include <limits>

namespace qmr4100::gateway {

using namespace qmr4100::layout;

HistorySample sample_of(const Block& block, WallClock::time_point received) {
  HistorySample sample;
  sample.received = received;
  sample.system_value = get_f32le(block, kSystemValue);
  sample.value_95 = get_f32le(block, kValue95);
  sample.module_count = block[kModuleCount];
  sample.modules.fill(std::numeric_limits<float>::quiet_NaN());
  for (std::size_t i = 0; i < std::min<std::size_t>(sample.module_count, kMaxModules); ++i) {
    if (block[module_record(i) + kModuleStatus] != kModuleCommFailure)
      sample.modules[i] = get_f32le(block, module_record(i) + kModuleValue);
  }
  for (std::size_t k = 0; k < kValueCountA2; ++k)
    sample.values_a2[k] = get_f32le(block, kValuesA2 + 4 * k);
  return sample;
}

void History::Add(const HistorySample& sample) {
  m_samples[m_next] = sample;
  m_next = (m_next + 1) % kCapacity;
  if (m_size < kCapacity) ++m_size;
}

const HistorySample& History::At(std::size_t index) const {
  return m_samples[(m_next + kCapacity - m_size + index) % kCapacity];
}

}  // namespace qmr4100::gateway
