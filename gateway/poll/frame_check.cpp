#include "poll/frame_check.h"

#include <fmt/format.h>

#include "poll/return_code.h"
#include "ydt1363/frame.h"

namespace qmr4100::gateway {
namespace {

// ADR as the frame's two characters carry it, upper-case hex.
bool carries_address(std::string_view frame, unsigned int address) {
  return frame.size() > ydt1363::kPosAdr + 1 &&
         frame.substr(ydt1363::kPosAdr, 2) == fmt::format("{:02X}", address);
}

}  // namespace

std::optional<FrameProblem> frame_problem(std::string_view frame, unsigned int address) {
  ydt1363::Header header;
  std::uint8_t info[ydt1363::kMaxInfoBytes];
  const ydt1363::DecodeError error = ydt1363::decode(frame, header, info, sizeof info);
  if (error != ydt1363::DecodeError::None)
    return FrameProblem{std::string(ydt1363::describe(error)), std::nullopt,
                        carries_address(frame, address)};
  if (header.adr != address)
    return FrameProblem{fmt::format("answer from address {}", header.adr), std::nullopt};
  if (header.cid2 != 0)
    return FrameProblem{"error reply " + describe_return_code(header.cid2), header.cid2};
  return std::nullopt;
}

bool from_polled_device(const std::optional<FrameProblem>& problem) {
  return !problem || problem->return_code || problem->spoilt_answer;
}

}  // namespace qmr4100::gateway
