// Why a received frame had no effect on the device being polled.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qmr4100::gateway {

// What is wrong with `frame` as an answer for `address`: a frame that does not
// decode, one from another address, or one carrying an error return code.
// nullopt for a well-formed answer with return code 0.
std::optional<std::string> frame_problem(std::string_view frame, unsigned int address);

}  // namespace qmr4100::gateway
