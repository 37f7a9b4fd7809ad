// JSON text as the gateway writes it everywhere: one line, UTF-8 kept as is
// (an invalid sequence becomes U+FFFD, so the text is always valid UTF-8),
// numbers without binary noise (53.1, not 53.100000000000001).
#pragma once

#include <string>
#include <string_view>

#include <json/value.h>

namespace qmr4100::gateway {

std::string json_text(const Json::Value& value);
// `text` as a JSON string literal, quotes included; valid UTF-8 passes unchanged.
std::string json_quoted(std::string_view text);
// A float of the block as the decimal it stands for; null when not a number.
Json::Value json_number(float value);

}  // namespace qmr4100::gateway
