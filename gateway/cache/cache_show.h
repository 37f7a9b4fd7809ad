// What `qmr4100-gateway --show-cache PATH` prints: every field of one cache
// file, or of each cache file in a directory.
#pragma once

#include <ostream>
#include <string>

namespace qmr4100::gateway {

// Shows `path` on `out`; problems, each naming its file, go to `err`.
// Returns 0 when every file shown was a sound cache file, else non-zero.
int show_cache(const std::string& path, std::ostream& out, std::ostream& err);

}  // namespace qmr4100::gateway
