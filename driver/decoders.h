// Decoders of the eight answers of a polling cycle. Each writes its fields of
// the snapshot block and never reads past the received info field.
#pragma once

#include <cstddef>
#include <cstdint>

#include "driver/snapshot_layout.h"

class SMDVDevice;

namespace qmr4100 {

struct Info {
  const std::uint8_t* data;
  std::size_t size;  // info bytes received
};

// Record decoders walk one entry per module and return how far they walked.
// A walk that would run past the info field stops and returns the position it
// needed, so the result never equals the info size; 0 refuses the answer.
// Non-zero skip bytes are logged through `log` when one is given.
int decode_41_42(Block& block, Info info, SMDVDevice* log);
int decode_41_43(Block& block, Info info, SMDVDevice* log);
int decode_41_44(Block& block, Info info);

// Fixed decoders return false, after their error line, for an answer shorter
// than its layout or announcing more entries than the block holds.
bool decode_41_91(Block& block, Info info);
void decode_41_95(Block& block, Info info);  // skipped below 4 bytes
bool decode_41_9C(Block& block, Info info);
bool decode_41_86(Block& block, Info info);
bool decode_41_A2(Block& block, Info info);

}  // namespace qmr4100
