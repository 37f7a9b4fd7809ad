// Numbers inside alarm identifiers, names and descriptions are plain decimal:
// no sign, no padding, no leading zeros.
#pragma once

#include <string>

#include <boost/lexical_cast.hpp>

namespace qmr4100::alarms {

inline std::string decimal(int number) { return boost::lexical_cast<std::string>(number); }

}  // namespace qmr4100::alarms
