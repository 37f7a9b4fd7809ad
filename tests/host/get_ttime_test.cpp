// The host's timestamp record, of which devices keep the first seven bytes.
#include "host/get_ttime.h"

#include <gtest/gtest.h>

#include <boost/date_time/gregorian/gregorian_types.hpp>
#include <boost/date_time/posix_time/posix_time.hpp>

namespace {

using boost::gregorian::date;
using boost::posix_time::ptime;
using boost::posix_time::time_duration;

struct Stamp {
  ptime time;
  ttime bytes;
};

const Stamp kStamps[] = {
    // year 2024 = 0x07E8, Tuesday
    {ptime(date(2024, 3, 5), time_duration(13, 7, 9)), {0xE8, 0x07, 3, 5, 13, 7, 9, 2}},
    // fractions of a second are dropped; a Sunday is day 0
    {ptime(date(2023, 12, 31), time_duration(23, 59, 59) + boost::posix_time::millisec(999)),
     {0xE7, 0x07, 12, 31, 23, 59, 59, 0}},
    {ptime(date(2000, 1, 1), time_duration(0, 0, 0)), {0xD0, 0x07, 1, 1, 0, 0, 0, 6}},
};

TEST(GetTtime, LaysOutYearLittleEndianThenDateTimeAndWeekday) {
  for (const Stamp& stamp : kStamps) {
    EXPECT_EQ(get_ttime(stamp.time), stamp.bytes)
        << boost::posix_time::to_simple_string(stamp.time);
  }
}

TEST(GetTtime, NoTimeGivesAnAllZeroRecord) { EXPECT_EQ(get_ttime(ptime()), ttime{}); }

}  // namespace
