// Cuts a received byte stream into frames from "~" to the carriage return.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace ydt1363 {

class FrameAssembler {
 public:
  // Called for every complete frame ("~" ... "\r"); the view lives for the call.
  using FrameHandler = std::function<void(std::string_view frame)>;
  // Called for bytes thrown away: noise before "~", or an over-long frame.
  using DiscardHandler = std::function<void(std::size_t bytes)>;

  explicit FrameAssembler(FrameHandler on_frame, DiscardHandler on_discard = {});

  void feed(const std::uint8_t* data, std::size_t size);
  void feed(std::string_view chars) {
    feed(reinterpret_cast<const std::uint8_t*>(chars.data()), chars.size());
  }
  // Bytes of an unfinished frame held so far.
  std::size_t pending() const { return buffer_.size(); }
  void clear() { buffer_.clear(); }

 private:
  void discard(std::size_t bytes);

  FrameHandler on_frame_;
  DiscardHandler on_discard_;
  std::string buffer_;
};

}  // namespace ydt1363
