#include "poll/refused_lines.h"

#include <fmt/format.h>

namespace qmr4100::gateway {

RefusedLines::RefusedLines(boost::asio::io_context& io, Console& console)
    : m_console(console), m_timer(io) {}

void RefusedLines::Refused(unsigned int data_id, int step, const std::string& problem) {
  const Clock::time_point now = Clock::now();
  Device& device = m_devices[data_id];
  if (device.held == 0 && now - device.shown >= kPeriod) {
    device.shown = now;
    m_console.TimedLine(
        fmt::format("device {}: frame refused at step {}: {}", data_id, step, problem));
    return;
  }
  ++device.held;
  ArmSummary(device.shown + kPeriod);
}

void RefusedLines::ArmSummary(Clock::time_point when) {
  if (m_armed) return;
  m_armed = true;
  m_timer.expires_at(when);
  m_timer.async_wait([this](const boost::system::error_code& error) {
    m_armed = false;
    if (!error) Summarize(Clock::now());
  });
}

void RefusedLines::Summarize(Clock::time_point now) {
  for (auto& [data_id, device] : m_devices) {
    if (device.held == 0) continue;
    if (now - device.shown < kPeriod) {
      ArmSummary(device.shown + kPeriod);
      continue;
    }
    m_console.TimedLine(fmt::format("device {}: {} more refused frames", data_id, device.held));
    device.held = 0;
    device.shown = now;
  }
}

void RefusedLines::Flush() {
  m_timer.cancel();
  for (auto& [data_id, device] : m_devices) device.shown = {};
  Summarize(Clock::now());
}

}  // namespace qmr4100::gateway
