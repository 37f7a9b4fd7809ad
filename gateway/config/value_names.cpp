#include "config/value_names.h"

#include <array>
#include <vector>

#include <fmt/format.h>

#include "driver/snapshot_layout.h"

namespace qmr4100::gateway {
namespace {

// One value, or a family "head K tail" for K in first..last.
struct ValueName {
  std::string_view head;
  std::string_view tail = {};
  int first = 0;
  int last = -1;                  // below first: no index
  std::string_view same_as = {};  // kept under this name instead
  bool Indexed() const { return last >= first; }
};

constexpr std::array kValueNames{
    ValueName{"system_value"},
    ValueName{"value_95"},
    ValueName{"values_a2[", "]", 0, static_cast<int>(layout::kValueCountA2) - 1},
    ValueName{"module_count"},
    ValueName{"module_value"},  // every module's value
    ValueName{"modules[", "].value", 1, static_cast<int>(layout::kMaxModules)},  // one module's
    ValueName{"modules[*].value", {}, 0, -1, "module_value"},
};

// The index written between head and tail: digits without a leading zero.
std::optional<int> index_in(std::string_view text) {
  if (text.empty() || text.size() > 9 || (text.size() > 1 && text[0] == '0')) return std::nullopt;
  int index = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    index = index * 10 + (c - '0');
  }
  return index;
}

bool names(const ValueName& value, std::string_view name) {
  if (!value.Indexed()) return name == value.head;
  if (name.size() < value.head.size() + value.tail.size() ||
      name.substr(0, value.head.size()) != value.head ||
      name.substr(name.size() - value.tail.size()) != value.tail)
    return false;
  const auto index = index_in(name.substr(
      value.head.size(), name.size() - value.head.size() - value.tail.size()));
  return index && *index >= value.first && *index <= value.last;
}

}  // namespace

std::optional<std::string> value_key(std::string_view name) {
  for (const ValueName& value : kValueNames)
    if (names(value, name)) return std::string(value.same_as.empty() ? name : value.same_as);
  return std::nullopt;
}

std::vector<std::string> value_names() {
  std::vector<std::string> written;
  for (const ValueName& value : kValueNames)
    written.push_back(value.Indexed() ? fmt::format("{}{}..{}{}", value.head, value.first,
                                                    value.last, value.tail)
                                      : std::string(value.head));
  return written;
}

std::string value_name_list() { return fmt::format("{}", fmt::join(value_names(), ", ")); }

}  // namespace qmr4100::gateway
