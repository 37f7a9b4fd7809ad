// Scenarios the tests build on.
#pragma once

#include "qmr4100/sim/scenario.h"

// The default power system with `count` modules of distinct values, states
// and status bytes; every third module carries extra bytes behind its entries.
inline qmr4100::sim::Scenario with_modules(std::size_t count) {
  qmr4100::sim::Scenario s = qmr4100::sim::default_scenario();
  s.changes.clear();
  s.modules.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    auto& m = s.modules[i];
    m.value = static_cast<qmr4100::sim::Tenths>(100 + 7 * i);
    m.states = {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(0x40 + i),
                static_cast<std::uint8_t>(0xC0 - i)};
    m.status = i % 5 == 1 ? qmr4100::kModuleFault : i % 5 == 3 ? qmr4100::kModuleCommFailure : 0;
    m.skip = static_cast<std::uint8_t>(i % 3 == 2 ? i % 4 + 1 : 0);
  }
  return s;
}
