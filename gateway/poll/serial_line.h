// One serial line: the port at 8N1 raw and locked for this program alone,
// frames cut from what it receives, and a port that fails is closed and
// reopened with backoff until it is back.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>

#include <boost/asio/io_context.hpp>
#include <boost/asio/serial_port.hpp>
#include <boost/asio/steady_timer.hpp>

#include "ydt1363/assembler.h"

namespace qmr4100::gateway {

class SerialLine {
 public:
  // All handlers run on the io_context's thread.
  struct Handlers {
    std::function<void(std::size_t count)> bytes;  // bytes received, before framing
    std::function<void(std::string_view frame)> frame;
    // Once per loss, and again when an attempt to reopen fails for another
    // reason than the last one (the device became a file, a folder, another
    // program's); `was_open` is true for the loss of an open port.
    std::function<void(const std::string& error, bool was_open)> lost;
    std::function<void()> restored;                      // the port is open again after a loss
  };

  static constexpr std::chrono::milliseconds kFirstRetry{100};
  static constexpr std::chrono::milliseconds kLastRetry{5000};

  SerialLine(boost::asio::io_context& io, std::string path, unsigned int baud, Handlers handlers);
  SerialLine(const SerialLine&) = delete;
  SerialLine& operator=(const SerialLine&) = delete;

  // Opens the port; a port that cannot be opened counts as lost.
  void Open();
  // Closes the port for good.
  void Close();
  bool IsOpen() const { return m_port.is_open(); }
  const std::string& Path() const { return m_path; }

  // Queues bytes for the line; dropped while the port is down.
  void Write(const unsigned char* data, std::size_t length);

 private:
  bool TryOpen(std::string& error);
  void ClosePort();
  void Read();
  void OnRead(const boost::system::error_code& error, std::size_t count);
  void WriteNext();
  void Fail(const std::string& error);
  void ScheduleReopen();

  std::string m_path;
  unsigned int m_baud;
  Handlers m_handlers;
  boost::asio::serial_port m_port;
  boost::asio::steady_timer m_retry;
  ydt1363::FrameAssembler m_assembler;
  std::array<std::uint8_t, 512> m_buffer{};
  std::deque<std::string> m_outbox;
  std::chrono::milliseconds m_backoff = kFirstRetry;
  std::string m_lastError;  // of the loss or of the last attempt to reopen
  bool m_lost = false;
  bool m_closed = false;
};

}  // namespace qmr4100::gateway
