#include "frame_check.h"

#include <fmt/format.h>

#include "ydt1363/frame.h"

namespace qmr4100::gateway {

std::optional<std::string> frame_problem(std::string_view frame, unsigned int address) {
  ydt1363::Header header;
  std::uint8_t info[ydt1363::kMaxInfoBytes];
  const ydt1363::DecodeError error = ydt1363::decode(frame, header, info, sizeof info);
  if (error != ydt1363::DecodeError::None) return std::string(ydt1363::describe(error));
  if (header.adr != address) return fmt::format("answer from address {}", header.adr);
  if (header.cid2 != 0) return fmt::format("return code {:02X}", header.cid2);
  return std::nullopt;
}

}  // namespace qmr4100::gateway
