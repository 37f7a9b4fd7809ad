// Why a received frame had no effect on the device being polled.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qmr4100::gateway {

struct FrameProblem {
  std::string text;
  // Set for a well-formed answer of the polled address that carries an error
  // return code: the device refused the command.
  std::optional<std::uint8_t> return_code;
};

// What is wrong with `frame` as an answer for `address`: a frame that does not
// decode, one from another address, or one carrying an error return code.
// nullopt for a well-formed answer with return code 0.
std::optional<FrameProblem> frame_problem(std::string_view frame, unsigned int address);

}  // namespace qmr4100::gateway
