// The input language of the polling-cycle fuzz target: what the host does to
// one device, as a list of actions. Each action is one operation byte, a
// 16-bit little-endian payload length and the payload:
//   Refresh  the host starts a cycle (payload ignored)
//   Answer   an answer frame from the device: payload byte 0 is the return
//            code, the rest the info field; the codec frames it correctly
//   Raw      the payload handed to `process` as received characters
//   Cache    the payload handed to `LoadFromCache`
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qmr4100::fuzz {

enum class Op : std::uint8_t { Refresh, Answer, Raw, Cache };
constexpr std::size_t kOpCount = 4;

struct Action {
  Op op;
  std::string_view payload;
};

// Any bytes parse: the operation byte is taken modulo the operation count and
// a length running past the input is cut to what is left.
std::vector<Action> parse_actions(const std::uint8_t* data, std::size_t size);

void append_action(std::string& input, Op op, std::string_view payload = {});

}  // namespace qmr4100::fuzz
