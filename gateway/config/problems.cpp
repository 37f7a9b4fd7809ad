#include "config/problems.h"

#include <algorithm>
#include <vector>

#include <fmt/format.h>

#include "text/json_text.h"
#include "text/utf8.h"

namespace qmr4100::gateway {
namespace {

constexpr std::size_t kMaxEdits = 2;

// Edits turning `a` into `b`, a swap of neighbours counting as one
// (optimal string alignment).
std::size_t edit_distance(std::string_view a, std::string_view b) {
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t changed = a[i - 1] == b[j - 1] ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + changed});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  }
  return d[a.size()][b.size()];
}

}  // namespace

std::string readable(std::string_view text, std::size_t characters) {
  std::string out;
  for (std::size_t at = 0, count = 0; at < text.size(); ++count) {
    if (count == characters) return out + "…";
    const std::size_t length = utf8_character_length(text, at);
    const auto byte = static_cast<unsigned char>(text[at]);
    if (length == 0 || byte < 0x20 || byte == 0x7F) {
      out += fmt::format("\\x{:02x}", byte);
      ++at;
    } else {
      out.append(text.substr(at, length));
      at += length;
    }
  }
  return out;
}

std::string shown(const Json::Value& value) {
  if (!value.isString()) return readable(json_text(value));
  // Cut inside the quotes, so that a long text still reads as a text; the
  // text's own bytes are shown, a bad one as \xNN.
  std::string escaped;
  for (const char c : value.asString()) {
    if (c == '"' || c == '\\') escaped += '\\';
    escaped += c;
  }
  return '"' + readable(escaped) + '"';
}

std::optional<std::string> nearest_key(std::string_view name, const std::set<std::string>& known) {
  // Two edits would turn any short name into any other.
  const std::size_t allowed = std::min(kMaxEdits, name.size() / 2);
  std::optional<std::string> nearest;
  std::size_t nearest_distance = allowed + 1;
  for (const std::string& key : known) {
    const std::size_t longer = std::max(key.size(), name.size());
    if (longer - std::min(key.size(), name.size()) > allowed) continue;
    const std::size_t distance = edit_distance(name, key);
    if (distance < nearest_distance) {
      nearest = key;
      nearest_distance = distance;
    }
  }
  return nearest;
}

std::string unknown_name(const std::string& where, const char* what, std::string_view name,
                         const std::set<std::string>& known, const std::string& allowed) {
  const std::string start = where.empty() ? "" : where + ": ";
  if (const auto nearest = nearest_key(name, known))
    return fmt::format("{}unknown {} '{}' (did you mean '{}'?)", start, what, readable(name),
                       *nearest);
  return fmt::format("{}unknown {} '{}' (allowed: {})", start, what, readable(name), allowed);
}

std::string unknown_key(const std::string& where, std::string_view name,
                        const std::set<std::string>& known) {
  return unknown_name(where, "key", name, known,
                      fmt::format("the keys {}", fmt::join(known, ", ")));
}

std::string not_allowed(const std::string& key, const Json::Value& value,
                        const std::string& allowed) {
  return fmt::format("{}: {} is not allowed (allowed: {})", key, shown(value), allowed);
}

void refuse(const std::string& key, const Json::Value& value, const std::string& allowed) {
  throw ConfigError(not_allowed(key, value, allowed));
}

}  // namespace qmr4100::gateway
