// The frame assembler over an arbitrary byte stream cut into arbitrary
// chunks. Input: byte 0 seeds the chunk sizes, the rest is the stream. The
// frames found must not depend on where the stream was cut, every frame runs
// from "~" to the carriage return, and no byte is lost or counted twice.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "ydt1363/assembler.h"
#include "ydt1363/frame.h"

namespace {

struct Outcome {
  std::vector<std::string> frames;
  std::size_t discarded = 0;
  std::size_t pending = 0;
};

// Feeds the stream in chunks whose sizes follow from `seed` (0: all at once).
Outcome assemble(std::string_view stream, std::uint8_t seed) {
  Outcome outcome;
  ydt1363::FrameAssembler assembler(
      [&](std::string_view frame) { outcome.frames.emplace_back(frame); },
      [&](std::size_t bytes) { outcome.discarded += bytes; });
  std::size_t pos = 0;
  unsigned state = seed;
  while (pos < stream.size()) {
    state = state * 1103515245u + 12345u;
    const std::size_t chunk = seed == 0 ? stream.size() : 1 + (state >> 16) % 64;
    const std::size_t take = std::min(chunk, stream.size() - pos);
    assembler.feed(stream.substr(pos, take));
    pos += take;
  }
  outcome.pending = assembler.pending();
  return outcome;
}

void check_frame(std::string_view frame) {
  FUZZ_CHECK(frame.size() >= 2 && frame.size() <= ydt1363::kMaxFrameChars);
  FUZZ_CHECK(frame.front() == ydt1363::kSoi && frame.back() == ydt1363::kEoi);
  FUZZ_CHECK(std::count(frame.begin(), frame.end(), ydt1363::kSoi) == 1);
  FUZZ_CHECK(std::count(frame.begin(), frame.end(), ydt1363::kEoi) == 1);
  ydt1363::decode(frame);  // must not crash whatever the frame holds
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view stream(reinterpret_cast<const char*>(data + 1), size - 1);
  const Outcome whole = assemble(stream, 0);
  const Outcome cut = assemble(stream, data[0]);

  FUZZ_CHECK(cut.frames == whole.frames);
  FUZZ_CHECK(cut.discarded == whole.discarded && cut.pending == whole.pending);
  std::size_t framed = 0;
  for (const std::string& frame : whole.frames) {
    check_frame(frame);
    framed += frame.size();
  }
  FUZZ_CHECK(framed + whole.discarded + whole.pending == stream.size());
  return 0;
}
