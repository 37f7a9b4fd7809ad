// Each decoder directly over an arbitrary info field, on a snapshot block
// that may hold any stored module count (a cache restore can bring one).
// Input: byte 0 picks the answer, byte 1 is the stored module count, the rest
// is the info field. Block and info live on the heap at exactly their size,
// so the sanitizer sees any access past either; inside the block a decoder
// may change only the fields of its own answer.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "answer_fields.h"
#include "driver/decoders.h"
#include "fuzz_check.h"

namespace {

namespace layout = qmr4100::layout;
using qmr4100::Block;
using qmr4100::Info;

constexpr std::size_t kInputHeader = 2;

// Runs the decoder of the answer to `code`; returns the record decoders'
// consumed length, -1 for the fixed decoders.
int decode(std::uint8_t code, Block& block, Info info) {
  switch (code) {
    case 0x42: return qmr4100::decode_41_42(block, info, nullptr);
    case 0x43: return qmr4100::decode_41_43(block, info, nullptr);
    case 0x44: return qmr4100::decode_41_44(block, info);
    case 0x91: qmr4100::decode_41_91(block, info); break;
    case 0x95: qmr4100::decode_41_95(block, info); break;
    case 0x9C: qmr4100::decode_41_9C(block, info); break;
    case 0x86: qmr4100::decode_41_86(block, info); break;
    case 0xA2: qmr4100::decode_41_A2(block, info); break;
  }
  return -1;
}

// A recognisable filling, so that a write of the same value is rare.
void fill(Block& block, std::uint8_t module_count) {
  for (std::size_t offset = 0; offset < block.size(); ++offset) {
    block[offset] = static_cast<std::uint8_t>(offset * 131 + 7);
  }
  block[layout::kModuleCount] = module_count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < kInputHeader) return 0;
  const std::uint8_t code =
      qmr4100::fuzz::kCycleCodes[data[0] % std::size(qmr4100::fuzz::kCycleCodes)];
  const std::size_t info_size = size - kInputHeader;
  auto info = std::make_unique<std::uint8_t[]>(info_size);
  std::copy_n(data + kInputHeader, info_size, info.get());

  auto block = std::make_unique<Block>();
  fill(*block, data[1]);
  const Block before = *block;
  const int consumed = decode(code, *block, {info.get(), info_size});

  FUZZ_CHECK(consumed >= -1);
  for (std::size_t offset = 0; offset < layout::kBlockSize; ++offset) {
    if ((*block)[offset] != before[offset]) {
      FUZZ_CHECK(qmr4100::fuzz::answer_may_write(code, offset));
    }
  }
  if (code == 0x42 && (*block)[layout::kModuleCount] != before[layout::kModuleCount]) {
    FUZZ_CHECK((*block)[layout::kModuleCount] <= layout::kMaxModules);
  }
  return 0;
}
