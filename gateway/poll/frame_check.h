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
  // A frame that does not decode but whose ADR characters are the polled
  // address: its answer, spoilt on the way (a wrong checksum, a lost character).
  bool spoilt_answer = false;
};

// What is wrong with `frame` as an answer for `address`: a frame that does not
// decode, one from another address, or one carrying an error return code.
// nullopt for a well-formed answer with return code 0.
std::optional<FrameProblem> frame_problem(std::string_view frame, unsigned int address);

// Whether the polled device sent `frame`, `problem` being its frame_problem:
// an answer, an error reply or a spoilt answer of its address.
bool from_polled_device(const std::optional<FrameProblem>& problem);

}  // namespace qmr4100::gateway
