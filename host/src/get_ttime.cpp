#include "host/get_ttime.h"

#include <boost/date_time/gregorian/gregorian_types.hpp>
#include <boost/date_time/posix_time/posix_time_types.hpp>

ttime get_ttime(boost::posix_time::ptime time) {
  ttime out{};
  if (time.is_special()) return out;
  const auto date = time.date();
  const auto clock = time.time_of_day();
  const unsigned year = date.year();
  out[0] = static_cast<unsigned char>(year & 0xFF);
  out[1] = static_cast<unsigned char>(year >> 8);
  out[2] = static_cast<unsigned char>(date.month().as_number());
  out[3] = static_cast<unsigned char>(date.day().as_number());
  out[4] = static_cast<unsigned char>(clock.hours());
  out[5] = static_cast<unsigned char>(clock.minutes());
  out[6] = static_cast<unsigned char>(clock.seconds());
  out[7] = static_cast<unsigned char>(date.day_of_week().as_number());
  return out;
}
