// Readable views of a snapshot block, for the console and for inspecting a
// cached block.
#pragma once

#include <string>

#include "driver/snapshot_layout.h"

namespace qmr4100::gateway {

// One line per field in layout order: decimal offset, field name, value.
// Floats show one decimal, raw regions show as hex (16 bytes a line), the
// timestamp as date and time. Only the module records within the module
// count are listed; the rest of the record area is named in one line.
std::string describe_block(const qmr4100::Block& block);

// A few lines per polling cycle: data id, timestamp, module count, each
// module's value and status (normal, fault, comm failure), and the other
// decoded values.
std::string summarize_block(const qmr4100::Block& block);

}  // namespace qmr4100::gateway
