#include "text/point_json.h"

namespace qmr4100::gateway {

std::string to_hex(const unsigned char* data, std::size_t length) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(2 * length);
  for (std::size_t i = 0; i < length; ++i) {
    hex += kDigits[data[i] >> 4];
    hex += kDigits[data[i] & 0x0F];
  }
  return hex;
}

void put_point(Json::Value& value, const rule_value& point) {
  value["id"] = point.id.str();
  value["code"] = point.code.str();
  value["name"] = point.name.str();
  value["desc"] = point.desc.str();
  value["seq"] = point.seq;
}

Json::Value point_json(const rule_value& point) {
  Json::Value value(Json::objectValue);
  put_point(value, point);
  return value;
}

}  // namespace qmr4100::gateway
