#include "frame_check.h"

#include <fmt/format.h>

#include "return_code.h"
#include "ydt1363/frame.h"

namespace qmr4100::gateway {

std::optional<FrameProblem> frame_problem(std::string_view frame, unsigned int address) {
  ydt1363::Header header;
  std::uint8_t info[ydt1363::kMaxInfoBytes];
  const ydt1363::DecodeError error = ydt1363::decode(frame, header, info, sizeof info);
  if (error != ydt1363::DecodeError::None)
    return FrameProblem{std::string(ydt1363::describe(error)), std::nullopt};
  if (header.adr != address)
    return FrameProblem{fmt::format("answer from address {}", header.adr), std::nullopt};
  if (header.cid2 != 0)
    return FrameProblem{"error reply " + describe_return_code(header.cid2), header.cid2};
  return std::nullopt;
}

}  // namespace qmr4100::gateway
