// Refused frames on the console: a line flooded with noise must not flood the
// operator's screen, so a device gets at most one such line a second; those
// held back are counted on one line a second later.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <string>

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>

#include "outputs/console/console.h"

namespace qmr4100::gateway {

class RefusedLines {
 public:
  static constexpr std::chrono::seconds kPeriod{1};

  RefusedLines(boost::asio::io_context& io, Console& console);

  // io thread. "device 1000: frame refused at step 3: CHKSUM mismatch", or
  // counted for later.
  void Refused(unsigned int data_id, int step, const std::string& problem);
  // Says what was held back, at once; the end of the run.
  void Flush();

 private:
  using Clock = std::chrono::steady_clock;
  struct Device {
    Clock::time_point shown{};  // the last line said of it
    std::uint64_t held = 0;     // refused frames since, not shown
  };

  void Summarize(Clock::time_point now);
  void ArmSummary(Clock::time_point when);

  Console& m_console;
  boost::asio::steady_timer m_timer;
  std::map<unsigned int, Device> m_devices;
  bool m_armed = false;
};

}  // namespace qmr4100::gateway
