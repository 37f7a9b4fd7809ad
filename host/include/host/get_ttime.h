#pragma once

#include <array>

#include <boost/date_time/posix_time/ptime.hpp>

// The host's timestamp record:
//   byte 0-1 year, little-endian   byte 2 month (1-12)   byte 3 day (1-31)
//   byte 4 hour (0-23)             byte 5 minute          byte 6 second
//   byte 7 day of the week (0 = Sunday)
// Devices that store seven bytes keep bytes 0-6.
using ttime = std::array<unsigned char, 8>;

ttime get_ttime(boost::posix_time::ptime time);
