// How many terminal columns a UTF-8 text takes: East Asian wide and
// full-width characters (the alarm points' Chinese names) take two,
// combining marks none, everything else one.
#pragma once

#include <cstddef>
#include <string_view>

namespace qmr4100::ctl {

// A byte that does not start a valid UTF-8 sequence counts as one column.
std::size_t display_width(std::string_view text);

}  // namespace qmr4100::ctl
