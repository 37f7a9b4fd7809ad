// What each fault does to an answer. The random choices come from the
// simulator's generator, so a seed repeats a run.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "answers.h"

namespace qmr4100::sim {

using Rng = std::mt19937_64;

// 1 to 16 stray bytes, none of them "~" or a carriage return.
std::string noise_bytes(Rng& rng);
// The frame cut into pieces of 1 to 8 characters.
std::vector<std::string> split_frame(const std::string& frame, Rng& rng);
// The frame with one CHKSUM character changed.
void corrupt_checksum(std::string& frame);
// An error return code from those a power system sends.
std::uint8_t error_code(Rng& rng);
// The scenario with 65 to 255 modules, repeating its own modules.
Scenario with_modules_above_64(const Scenario& s, Rng& rng);
// The scenario with 51 to 255 0x9C entries, repeating its own entries.
Scenario with_entries_above_50(const Scenario& s, Rng& rng);
// A 0x43 or 0x44 info field whose count byte disagrees with its entries.
void mismatch_count(Info& info);
// The info field cut short by at least one byte.
void shorten(Info& info, Rng& rng);

}  // namespace qmr4100::sim
