#pragma once

#include <boost/date_time/posix_time/ptime.hpp>

namespace qmr4100 {

// How old the published data is, as a value query sees it.
enum class Freshness { NotReady, Fresh, TimedOut };

// Data is fresh until 60 whole seconds after the last update (a clock set
// back counts as fresh); `now` is read in whole seconds.
Freshness classify(bool data_valid, boost::posix_time::ptime now,
                   boost::posix_time::ptime last_update);

}  // namespace qmr4100
