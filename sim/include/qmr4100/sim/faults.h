// Faults a real line has, injected into the simulator's answers at a rate
// each, reproducibly from a seed.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qmr4100::sim {

enum class Fault {
  Noise,           // stray bytes before the answer
  Split,           // the answer written in many small pieces
  ErrorCode,       // an error return code instead of the answer
  BadChecksum,     // the answer's CHKSUM is wrong
  Drop,            // no answer at all
  Delay,           // the answer comes late (past the gateway's timeout)
  Echo,            // the command comes back before the answer (half-duplex line)
  CountMismatch,   // 0x43 or 0x44 announce another module count than 0x42
  ModulesAbove64,  // 0x42 announces more modules than the block holds
  EntriesAbove50,  // 0x9C announces more entries than the block holds
  ShortAnswer,     // the info field ends before its layout does
  PortBounce,      // the port closes and comes back
};

constexpr std::size_t kFaultCount = static_cast<std::size_t>(Fault::PortBounce) + 1;

struct FaultSetting {
  Fault fault;
  double rate;  // probability per answer, 0..1
};

struct FaultPlan {
  std::vector<FaultSetting> faults;
  std::uint64_t seed = 1;
};

// "noise:0.1,echo:1,drop:0.05"; a name alone means rate 1. Throws
// std::invalid_argument naming the bad item.
FaultPlan parse_faults(const std::string& list);
const char* fault_name(Fault fault);

// Faults injected so far, by kind.
using FaultCounts = std::array<std::uint64_t, kFaultCount>;
// "noise 12, drop 3", or "none".
std::string format_fault_counts(const FaultCounts& counts);

}  // namespace qmr4100::sim
