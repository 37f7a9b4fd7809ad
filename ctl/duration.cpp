#include "duration.h"

#include <array>
#include <cmath>
#include <stdexcept>
#include <string>

#include <fmt/format.h>

namespace qmr4100::ctl {
namespace {

struct Unit {
  std::string_view suffix;
  double seconds;
};

// "ms" before "m" and "s": the longest suffix that matches wins.
constexpr std::array<Unit, 6> kUnits{
    {{"ms", 0.001}, {"s", 1}, {"m", 60}, {"h", 3600}, {"d", 86400}, {"", 1}}};

std::invalid_argument not_a_duration(std::string_view text) {
  return std::invalid_argument(fmt::format(
      "'{}' is not a duration (a number with ms, s, m, h or d, e.g. 30s, 10m, 2h)", text));
}

}  // namespace

Seconds parse_duration(std::string_view text) {
  for (const Unit& unit : kUnits) {
    if (text.size() <= unit.suffix.size() ||
        text.substr(text.size() - unit.suffix.size()) != unit.suffix)
      continue;
    const std::string number(text.substr(0, text.size() - unit.suffix.size()));
    if (number.find_first_not_of("0123456789.") != std::string::npos) break;
    std::size_t used = 0;
    double value = 0;
    try {
      value = std::stod(number, &used);
    } catch (const std::logic_error&) {
      break;
    }
    if (used != number.size() || !std::isfinite(value)) break;
    return Seconds(value * unit.seconds);
  }
  throw not_a_duration(text);
}

std::string age_text(Seconds age) {
  const double s = age.count();
  if (s < 10) return fmt::format("{:.1f}s", std::max(s, 0.0));
  if (s < 120) return fmt::format("{:.0f}s", s);
  if (s < 2 * 3600) return fmt::format("{:.0f}m", s / 60);
  if (s < 2 * 86400) return fmt::format("{:.0f}h", s / 3600);
  return fmt::format("{:.0f}d", s / 86400);
}

}  // namespace qmr4100::ctl
