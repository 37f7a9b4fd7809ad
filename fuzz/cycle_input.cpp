#include "cycle_input.h"

#include <algorithm>

namespace qmr4100::fuzz {

namespace {
constexpr std::size_t kActionHeader = 3;  // operation byte, payload length
}

std::vector<Action> parse_actions(const std::uint8_t* data, std::size_t size) {
  std::vector<Action> actions;
  std::size_t pos = 0;
  while (pos + kActionHeader <= size) {
    const Op op = static_cast<Op>(data[pos] % kOpCount);
    const std::size_t announced = data[pos + 1] | data[pos + 2] << 8;
    pos += kActionHeader;
    const std::size_t length = std::min(announced, size - pos);
    actions.push_back({op, {reinterpret_cast<const char*>(data + pos), length}});
    pos += length;
  }
  return actions;
}

void append_action(std::string& input, Op op, std::string_view payload) {
  input.push_back(static_cast<char>(op));
  input.push_back(static_cast<char>(payload.size() & 0xFF));
  input.push_back(static_cast<char>(payload.size() >> 8));
  input.append(payload);
}

}  // namespace qmr4100::fuzz
