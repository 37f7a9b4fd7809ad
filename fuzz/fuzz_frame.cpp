// The frame decoder over arbitrary bytes taken as one whole frame. A frame it
// accepts must encode back to the same characters, and decoding must respect
// the room it is given for the info field.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "ydt1363/frame.h"

namespace {

// Decodes into a heap buffer of exactly `capacity` bytes, so that the
// sanitizer sees any write past it.
ydt1363::DecodeError decode_with_room(std::string_view chars, std::size_t capacity,
                                      ydt1363::Header& header) {
  auto info = std::make_unique<std::uint8_t[]>(capacity);
  return ydt1363::decode(chars, header, info.get(), capacity);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view chars(reinterpret_cast<const char*>(data), size);
  const ydt1363::DecodeResult result = ydt1363::decode(chars);
  FUZZ_CHECK(ydt1363::describe(result.error) != nullptr);
  if (result.error != ydt1363::DecodeError::None) return 0;

  const ydt1363::Frame& frame = result.frame;
  FUZZ_CHECK(frame.info.size() <= ydt1363::kMaxInfoBytes);
  FUZZ_CHECK(ydt1363::encode(frame) == chars);

  ydt1363::Header header;
  FUZZ_CHECK(decode_with_room(chars, frame.info.size(), header) == ydt1363::DecodeError::None);
  FUZZ_CHECK(header.info_chars == 2 * frame.info.size());
  FUZZ_CHECK(header.cid1 == frame.cid1 && header.cid2 == frame.cid2 && header.adr == frame.adr);
  if (!frame.info.empty()) {
    FUZZ_CHECK(decode_with_room(chars, frame.info.size() - 1, header) ==
               ydt1363::DecodeError::TooLong);
  }
  return 0;
}
