#include "model/history.h"

#include <algorithm>
#include <limits>

namespace qmr4100::gateway {

using namespace qmr4100::layout;

namespace {

constexpr float kNoValue = std::numeric_limits<float>::quiet_NaN();

}  // namespace

void History::Add(const Block& block, WallClock::time_point received) {
  if (m_samples.empty()) m_samples.resize(kCapacity);
  const std::size_t count = std::min<std::size_t>(block[kModuleCount], kMaxModules);
  if (count > m_columns) Widen(count);
  HistorySample& sample = m_samples[m_next];
  sample.received = received;
  sample.system_value = get_f32le(block, kSystemValue);
  sample.value_95 = get_f32le(block, kValue95);
  sample.module_count = block[kModuleCount];
  for (std::size_t k = 0; k < kValueCountA2; ++k)
    sample.values_a2[k] = get_f32le(block, kValuesA2 + 4 * k);
  float* modules = m_modules.data() + m_next * m_columns;
  for (std::size_t i = 0; i < m_columns; ++i) {
    const bool reading = i < count && block[module_record(i) + kModuleStatus] != kModuleCommFailure;
    modules[i] = reading ? get_f32le(block, module_record(i) + kModuleValue) : kNoValue;
  }
  m_next = (m_next + 1) % kCapacity;
  if (m_size < kCapacity) ++m_size;
}

float History::Module(std::size_t index, std::size_t module) const {
  return module < m_columns ? m_modules[Slot(index) * m_columns + module] : kNoValue;
}

std::size_t History::ModuleColumns() const {
  std::size_t columns = 0;
  for (std::size_t i = 0; i < m_size; ++i)
    columns = std::max<std::size_t>(columns, At(i).module_count);
  return std::min(columns, kMaxModules);
}

// More modules than before: every row gets the new width, the old samples no
// value for the new modules.
void History::Widen(std::size_t columns) {
  std::vector<float> widened(kCapacity * columns, kNoValue);
  for (std::size_t row = 0; row < kCapacity; ++row)
    std::copy_n(m_modules.begin() + row * m_columns, m_columns, widened.begin() + row * columns);
  m_modules = std::move(widened);
  m_columns = columns;
}

}  // namespace qmr4100::gateway
