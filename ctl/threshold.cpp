#include "threshold.h"

#include <cmath>
#include <stdexcept>

#include <fmt/format.h>

namespace qmr4100::ctl {
namespace {

double number_of(const std::string& text, const std::string& whole) {
  std::size_t used = 0;
  double value = 0;
  try {
    value = std::stod(text, &used);
  } catch (const std::logic_error&) {
    used = 0;
  }
  if (text.empty() || used != text.size() || !std::isfinite(value))
    throw std::invalid_argument(
        fmt::format("'{}' is not a threshold range (e.g. 0, 5, 2:, ~:5, 1:5, @1:5)", whole));
  return value;
}

}  // namespace

Threshold Threshold::Parse(const std::string& text) {
  Threshold range;
  range.m_text = text;
  std::string rest = text;
  if (!rest.empty() && rest.front() == '@') {
    range.m_inside = true;
    rest.erase(0, 1);
  }
  const std::size_t colon = rest.find(':');
  if (colon == std::string::npos) {
    range.m_high = number_of(rest, text);
  } else {
    const std::string low = rest.substr(0, colon);
    const std::string high = rest.substr(colon + 1);
    if (low == "~")
      range.m_lowOpen = true;
    else
      range.m_low = number_of(low, text);
    if (high.empty())
      range.m_highOpen = true;
    else
      range.m_high = number_of(high, text);
  }
  if (!range.m_lowOpen && !range.m_highOpen && range.m_low > range.m_high)
    throw std::invalid_argument(
        fmt::format("threshold range '{}': the start is above the end", text));
  return range;
}

bool Threshold::Alerts(double value) const {
  const bool within = (m_lowOpen || value >= m_low) && (m_highOpen || value <= m_high);
  return m_inside ? within : !within;
}

}  // namespace qmr4100::ctl
