// UTF-8 as the outputs need it: MQTT, JSON, SNMP and Prometheus texts must be
// valid UTF-8 (browsers and brokers refuse or garble a document with one bad
// byte), and a message shows a text cut on a character boundary.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qmr4100::gateway {

// The length of the well-formed UTF-8 character at `text[at]` (no overlong
// forms, surrogates or code points above U+10FFFF); 0 when there is none.
std::size_t utf8_character_length(std::string_view text, std::size_t at);
bool is_utf8(std::string_view text);
// `text` with each invalid sequence (a stray or truncated byte, an overlong
// form, a surrogate, a code point past U+10FFFF) replaced by U+FFFD.
std::string valid_utf8(std::string_view text);

}  // namespace qmr4100::gateway
