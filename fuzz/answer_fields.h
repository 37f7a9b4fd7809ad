// Which bytes of the snapshot block the decoder of each answer may write.
// The fuzz targets compare the block before and after an answer against it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qmr4100::fuzz {

// The command codes of one polling cycle; step n awaits the answer to entry n - 1.
constexpr std::uint8_t kCycleCodes[] = {0x42, 0x43, 0x44, 0x91, 0x95, 0x9C, 0x86, 0xA2};
constexpr int kLastStep = 8;

// True if the decoder of the answer to `code` may change block byte `offset`.
bool answer_may_write(std::uint8_t code, std::size_t offset);

// True if round completion may change block byte `offset` (the timestamp).
bool round_may_write(std::size_t offset);

}  // namespace qmr4100::fuzz
