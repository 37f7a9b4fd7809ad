// Durations as an operator writes them on the command line: "30s", "10m",
// "2h", "1d", "500ms", "1.5h"; a bare number is seconds.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace qmr4100::ctl {

using Seconds = std::chrono::duration<double>;

// Throws std::invalid_argument naming the text and the accepted forms.
Seconds parse_duration(std::string_view text);

// A short text for an age: "0.4s", "42s", "17m", "5h", "3d".
std::string age_text(Seconds age);

}  // namespace qmr4100::ctl
