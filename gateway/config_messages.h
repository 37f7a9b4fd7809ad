// How the configuration's parsers show what they refuse: values cut short and
// readable whatever bytes they hold, and an unknown key with the known key it
// was probably meant to be.
#pragma once

#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include <json/value.h>

namespace qmr4100::gateway {

constexpr std::size_t kShownCharacters = 60;

// `text` with control characters and bytes that are no UTF-8 character written
// \xNN, cut after `characters` characters with "…".
std::string readable(std::string_view text, std::size_t characters = kShownCharacters);
// A value of the file as a message shows it: its JSON text, cut likewise.
std::string shown(const Json::Value& value);

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
