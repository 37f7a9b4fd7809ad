#include "poll/serial_line.h"

#include <termios.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <utility>

#include <boost/asio/write.hpp>

#include "poll/port_lock.h"

namespace qmr4100::gateway {

namespace asio = boost::asio;

SerialLine::SerialLine(asio::io_context& io, std::string path, unsigned int baud, Handlers handlers)
    : m_path(std::move(path)),
      m_baud(baud),
      m_handlers(std::move(handlers)),
      m_port(io),
      m_retry(io),
      m_assembler([this](std::string_view frame) { m_handlers.frame(frame); }) {}

void SerialLine::Open() {
  m_closed = false;
  std::string error;
  if (TryOpen(error)) {
    Read();
  } else {
    Fail(error);
  }
}

void SerialLine::Close() {
  m_closed = true;
  m_retry.cancel();
  ClosePort();
  m_outbox.clear();
}

void SerialLine::ClosePort() {
  if (!m_port.is_open()) return;
  unlock_port(m_port.native_handle());
  boost::system::error_code ignored;
  m_port.close(ignored);
}

bool SerialLine::TryOpen(std::string& error) {
  boost::system::error_code ec;
  m_port.open(m_path, ec);
  if (ec == boost::system::errc::device_or_resource_busy) {
    error = port_in_use(m_path);
    return false;
  }
  // Locked before its settings change: another gateway may be polling on it.
  if (!ec) {
    if (std::optional<std::string> refused = lock_port(m_port.native_handle(), m_path)) {
      error = *refused;
      ClosePort();
      return false;
    }
  }
  using asio::serial_port_base;
  // Raw 8N1 at the device's speed; a pseudo-terminal takes the same settings.
  if (!ec) m_port.set_option(serial_port_base::baud_rate(m_baud), ec);
  if (!ec) m_port.set_option(serial_port_base::character_size(8), ec);
  if (!ec) m_port.set_option(serial_port_base::parity(serial_port_base::parity::none), ec);
  if (!ec) m_port.set_option(serial_port_base::stop_bits(serial_port_base::stop_bits::one), ec);
  if (!ec)
    m_port.set_option(serial_port_base::flow_control(serial_port_base::flow_control::none), ec);
  // What came in before the open (a late answer to a gateway that was killed)
  // would be taken for the answer to our first command.
  if (!ec && tcflush(m_port.native_handle(), TCIFLUSH) != 0)
    ec.assign(errno, boost::system::system_category());
  if (!ec) return true;
  error = m_path + ": " + ec.message();
  ClosePort();
  return false;
}

void SerialLine::Read() {
  m_port.async_read_some(
      asio::buffer(m_buffer),
      [this](const boost::system::error_code& error, std::size_t count) { OnRead(error, count); });
}

void SerialLine::OnRead(const boost::system::error_code& error, std::size_t count) {
  if (error == asio::error::operation_aborted || m_closed) return;
  if (error) {
    // A closed pseudo-terminal reads as end of file or EIO; both mean the port is gone.
    Fail(m_path + ": " + error.message());
    return;
  }
  m_handlers.bytes(count);
  m_assembler.feed(m_buffer.data(), count);
  if (m_port.is_open()) Read();
}

void SerialLine::Write(const unsigned char* data, std::size_t length) {
  if (!m_port.is_open()) return;
  m_outbox.emplace_back(reinterpret_cast<const char*>(data), length);
  if (m_outbox.size() == 1) WriteNext();
}

void SerialLine::WriteNext() {
  asio::async_write(m_port, asio::buffer(m_outbox.front()),
                    [this](const boost::system::error_code& error, std::size_t) {
                      if (error == asio::error::operation_aborted || m_closed) return;
                      if (error) {
                        Fail(m_path + ": " + error.message());
                        return;
                      }
                      m_outbox.pop_front();
                      if (!m_outbox.empty()) WriteNext();
                    });
}

void SerialLine::Fail(const std::string& error) {
  const bool was_open = m_port.is_open();
  ClosePort();
  m_outbox.clear();
  m_assembler.clear();
  if (!m_lost) {
    m_lost = true;
    m_backoff = kFirstRetry;
    m_lastError = error;
    m_handlers.lost(error, was_open);
  }
  ScheduleReopen();
}

void SerialLine::ScheduleReopen() {
  m_retry.expires_after(m_backoff);
  m_retry.async_wait([this](const boost::system::error_code& error) {
    if (error || m_closed) return;
    std::string failure;
    if (!TryOpen(failure)) {
      // Said once per reason, not at every attempt.
      if (failure != m_lastError) {
        m_lastError = failure;
        m_handlers.lost(failure, false);
      }
      m_backoff = std::min(2 * m_backoff, kLastRetry);
      ScheduleReopen();
      return;
    }
    m_lost = false;
    Read();
    m_handlers.restored();
  });
}

}  // namespace qmr4100::gateway
