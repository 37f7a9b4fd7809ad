// How the configuration's parsers say what they refuse: one error type, values
// cut short and readable whatever bytes they hold, "KEY: VALUE is not allowed
// (allowed: ...)", and an unknown key with the known key it was probably meant
// to be. Every section's parser (the core keys and each output's) uses these.
#pragma once

#include <cstddef>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>

#include <json/value.h>

namespace qmr4100::gateway {

// Lists every problem of a configuration, one a line, each naming the key:
// "devices[1].address: 300 is not allowed (allowed: an integer 0..255)" or
// "devices[0].port is missing".
class ConfigError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

constexpr std::size_t kShownCharacters = 60;

// `text` with control characters and bytes that are no UTF-8 character written
// \xNN, cut after `characters` characters with "…".
std::string readable(std::string_view text, std::size_t characters = kShownCharacters);
// A value of the file as a message shows it: its JSON text, cut likewise.
std::string shown(const Json::Value& value);

// "mqtt.port: 70000 is not allowed (allowed: an integer 1..65535)"
std::string not_allowed(const std::string& key, const Json::Value& value,
                        const std::string& allowed);
// Throws ConfigError with that line.
[[noreturn]] void refuse(const std::string& key, const Json::Value& value,
                         const std::string& allowed);

// The known key within two edits (a letter added, dropped, changed or two
// letters swapped) of `name`, the closest first; none for very short names.
std::optional<std::string> nearest_key(std::string_view name, const std::set<std::string>& known);
// "devices[1]: unknown key 'adress' (did you mean 'address'?)", or the list of
// the known keys when none is near; `where` is "" at the top of the file.
std::string unknown_key(const std::string& where, std::string_view name,
                        const std::set<std::string>& known);
// The same for other names: "fields: unknown value name 'x' (allowed: ...)".
std::string unknown_name(const std::string& where, const char* what, std::string_view name,
                         const std::set<std::string>& known, const std::string& allowed);

}  // namespace qmr4100::gateway
