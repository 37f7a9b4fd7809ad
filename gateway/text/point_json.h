// An alarm point and raw bytes as every output writes them in JSON.
#pragma once

#include <cstddef>
#include <string>

#include <json/value.h>

#include "host/rule_value.h"

namespace qmr4100::gateway {

// Lower-case hex digits, two a byte.
std::string to_hex(const unsigned char* data, std::size_t length);

// An alarm point's id, code, name, desc and seq, as every output names them.
void put_point(Json::Value& value, const rule_value& point);
// Those five alone, as an object.
Json::Value point_json(const rule_value& point);

}  // namespace qmr4100::gateway
