// The limits the configuration file and the command line share: the ranges of
// the numbers, the serial rates and what a text may hold.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace CLI {
class Validator;
}

namespace qmr4100::gateway {

struct NumberRange {
  const char* unit;     // " seconds", " MB"
  double smallest;      // the smallest allowed above 0: less would round to 0 ms or bytes
  double largest;
  bool zero_allowed;    // 0: back to back, no deadline
};

constexpr NumberRange kIntervalRange{" seconds", 0.001, 86400, true};
constexpr NumberRange kTimeoutRange{" seconds", 0.001, 600, false};
constexpr NumberRange kRecordMbRange{" MB", 1e-6, 1e6, false};  // 1e-6 MB is one byte
constexpr NumberRange kDeadlineRange{" seconds", 0.001, 1e9, true};

// NaN and the infinities never fit.
bool fits(const NumberRange& range, double value);
// "0, or 0.001 up to 86400 seconds"
std::string allowed_numbers(const NumberRange& range);

// The rates a serial port is set to; others would fail only when the port opens.
constexpr std::array<std::int64_t, 8> kBauds = {1200,  2400,  4800,  9600,
                                               19200, 38400, 57600, 115200};
bool is_baud(std::int64_t rate);
std::string allowed_bauds();  // "one of 1200, 2400, ..."

// A text the outputs can carry (JSON, MQTT, SNMP): UTF-8 without NUL.
bool is_clean_text(std::string_view text);

constexpr std::size_t kMaxHostName = 253;
// Letters, digits, '.', '-' and '_', at most kMaxHostName of them.
bool is_host_name(std::string_view text);

// The same checks for the command line's flags.
CLI::Validator number_check(const NumberRange& range);
CLI::Validator baud_check();
CLI::Validator text_check();

}  // namespace qmr4100::gateway
