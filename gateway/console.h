// Lines for the person watching the gateway, on standard output next to the
// driver's own lines.
#pragma once

#include <string>

namespace qmr4100::gateway {

// Writes `text` and a line end in one piece and flushes; thread-safe.
void console_line(const std::string& text);

}  // namespace qmr4100::gateway
