// The info fields of the eight answers, built from a scenario as it stands in
// the current cycle.
#pragma once

#include <cstdint>
#include <vector>

#include "qmr4100/sim/scenario.h"

namespace qmr4100::sim {

constexpr std::uint8_t kCid1 = 0x41;
constexpr std::uint8_t kVer = 0x21;

using Info = std::vector<std::uint8_t>;

// Whether the power system knows command `cid2` of CID1 0x41.
bool is_command(std::uint8_t cid2);
// The info field of the answer to `cid2`; false for an unknown command.
bool answer_info(std::uint8_t cid2, const Scenario& s, Info& info);

}  // namespace qmr4100::sim
