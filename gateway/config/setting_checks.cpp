#include "config/setting_checks.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include <CLI/CLI.hpp>
#include <fmt/format.h>

#include "config/problems.h"
#include "text/utf8.h"

namespace qmr4100::gateway {

bool fits(const NumberRange& range, double value) {
  if (std::isnan(value) || value > range.largest) return false;
  return value >= range.smallest || (range.zero_allowed && value == 0);
}

std::string allowed_numbers(const NumberRange& range) {
  return fmt::format("{}{:g} up to {:g}{}", range.zero_allowed ? "0, or " : "", range.smallest,
                     range.largest, range.unit);
}

bool is_baud(std::int64_t rate) { return std::count(kBauds.begin(), kBauds.end(), rate) != 0; }

std::string allowed_bauds() { return fmt::format("one of {}", fmt::join(kBauds, ", ")); }

bool is_clean_text(std::string_view text) {
  return text.find('\0') == std::string_view::npos && is_utf8(text);
}

bool is_host_name(std::string_view text) {
  const auto allowed = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           c == '.' || c == '-' || c == '_';
  };
  return !text.empty() && text.size() <= kMaxHostName &&
         std::all_of(text.begin(), text.end(), allowed);
}

// Text that is no number at all is left to the flag's own conversion, which names it.
CLI::Validator number_check(const NumberRange& range) {
  return CLI::Validator(
      [range](std::string& text) -> std::string {
        char* end = nullptr;
        const double value = std::strtod(text.c_str(), &end);
        if (end == text.c_str() || *end != '\0' || fits(range, value)) return "";
        return fmt::format("{} is not allowed (allowed: {})", readable(text),
                           allowed_numbers(range));
      },
      "");
}

CLI::Validator baud_check() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        char* end = nullptr;
        const long long rate = std::strtoll(text.c_str(), &end, 10);
        if (end != text.c_str() && *end == '\0' && is_baud(rate)) return "";
        return fmt::format("{} is not allowed (allowed: {})", readable(text), allowed_bauds());
      },
      "");
}

CLI::Validator text_check() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        if (!text.empty() && is_clean_text(text)) return "";
        return fmt::format("{} is not allowed (allowed: a non-empty UTF-8 text)", readable(text));
      },
      "");
}

}  // namespace qmr4100::gateway
