// Text that is valid UTF-8 whatever came in: names and texts from files,
// devices and the configuration go out to browsers, brokers and Prometheus,
// which refuse (or garble) a document with one invalid byte.
#pragma once

#include <string>
#include <string_view>

namespace qmr4100::gateway {

bool is_valid_utf8(std::string_view text);
// `text` with each invalid sequence (a stray or truncated byte, an overlong
// form, a surrogate, a code point past U+10FFFF) replaced by U+FFFD.
std::string valid_utf8(std::string_view text);

}  // namespace qmr4100::gateway
