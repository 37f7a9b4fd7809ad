// Readable views of a snapshot block, for the console and for inspecting a
// cached block.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "driver/snapshot_layout.h"

namespace qmr4100::gateway {

// One line per field in layout order: decimal offset, field name, value.
// Floats show one decimal, raw regions show as hex (16 bytes a line), the
// timestamp as date and time. Only the module records within the module
// count are listed; the rest of the record area is named in one line.
std::string describe_block(const qmr4100::Block& block);

// How a decoded value is shown: `key` names it as the configuration's
// "fields" do ("system_value", "values_a2[0]", "modules[1].value"),
// `neutral` is its name when it has no label (may be empty).
using ValueText = std::function<std::string(const std::string& key, std::string_view neutral,
                                            float value)>;

// "system value 53.5", or "53.5" with no neutral name.
std::string plain_value(const std::string& key, std::string_view neutral, float value);

// A few lines per polling cycle: data id, timestamp, module count, each
// module's value and status (normal, fault, comm failure), and the other
// decoded values, each value shown by `show`.
std::string summarize_block(const qmr4100::Block& block, const ValueText& show = plain_value);

}  // namespace qmr4100::gateway
