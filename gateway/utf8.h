// UTF-8 as the outputs need it: MQTT, JSON and SNMP texts must be valid
// UTF-8, and a message shows a text cut on a character boundary.
#pragma once

#include <cstddef>
#include <string_view>

namespace qmr4100::gateway {

// The length of the well-formed UTF-8 character at `text[at]` (no overlong
// forms, surrogates or code points above U+10FFFF); 0 when there is none.
std::size_t utf8_character_length(std::string_view text, std::size_t at);
bool is_utf8(std::string_view text);

}  // namespace qmr4100::gateway
