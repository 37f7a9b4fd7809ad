// Switches SMDVDevice::CheckThresholdBool between the host runtime's own and
// one that only counts calls, to measure the driver's share of a round.
#pragma once

#include <cstdint>

namespace bench {

void set_counting_host(bool counting);
std::uint64_t counted_evaluations();

}  // namespace bench
