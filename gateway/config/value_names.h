// The names of the decoded view's values an operator can label ("fields" of
// the configuration): "system_value", "values_a2[3]", "modules[2].value" ...
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qmr4100::gateway {

// The key a value's label is kept under: the name itself, or the name it is
// another way of writing ("modules[*].value" is "module_value"); none for a
// name that is no value.
std::optional<std::string> value_key(std::string_view name);
// The names as a person reads them: "system_value", "values_a2[0..11]" ...
std::vector<std::string> value_names();
// "system_value, value_95, values_a2[0..11], ..."
std::string value_name_list();

}  // namespace qmr4100::gateway
