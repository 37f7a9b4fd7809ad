// What the power system means by the return code (RTN) of an answer.
#pragma once

#include <cstdint>
#include <string>

namespace qmr4100::gateway {

// "02 (CHKSUM error)"; codes without a standard meaning read "unknown".
std::string describe_return_code(std::uint8_t code);

}  // namespace qmr4100::gateway
