#include "ydt1363/assembler.h"

#include "ydt1363/frame.h"

#include <utility>

namespace ydt1363 {

FrameAssembler::FrameAssembler(FrameHandler on_frame, DiscardHandler on_discard)
    : on_frame_(std::move(on_frame)), on_discard_(std::move(on_discard)) {
  buffer_.reserve(kMaxFrameChars);
}

void FrameAssembler::discard(std::size_t bytes) {
  if (bytes != 0 && on_discard_) on_discard_(bytes);
}

void FrameAssembler::feed(const std::uint8_t* data, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    const char c = static_cast<char>(data[i]);
    if (buffer_.empty()) {
      if (c == kSoi) {
        buffer_.push_back(c);
      } else {
        discard(1);
      }
      continue;
    }
    if (c == kSoi) {
      // A new start mid-frame: the partial frame was cut off by the line.
      discard(buffer_.size());
      buffer_.assign(1, c);
      continue;
    }
    buffer_.push_back(c);
    if (c == kEoi) {
      on_frame_(buffer_);
      buffer_.clear();
    } else if (buffer_.size() >= kMaxFrameChars) {
      discard(buffer_.size());
      buffer_.clear();
    }
  }
}

}  // namespace ydt1363
