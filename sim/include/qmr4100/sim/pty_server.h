// Serves simulated power systems on a pseudo-terminal it creates, or on a
// serial device, from its own thread: one system, or several sharing the line.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "qmr4100/sim/faults.h"
#include "qmr4100/sim/scenario.h"

namespace qmr4100::sim {

struct ServeOptions {
  bool paced = false;        // write at the character time of `baud`
  int baud = 9600;
  int verbose = 0;           // 1: one console line per command answered
  std::string device_path;   // empty: create a pty
  std::string link_path;     // optional stable symlink to the pty end, re-pointed when the port bounces
  std::chrono::milliseconds delay{3000};  // of a delayed answer
};

class PtyServer {
 public:
  // Opens the port and starts serving; throws std::runtime_error if it cannot.
  PtyServer(Scenario scenario, FaultPlan faults, ServeOptions options);
  // Several systems on the line, each at its own address (see Bus).
  PtyServer(std::vector<Scenario> systems, FaultPlan faults, ServeOptions options);
  ~PtyServer();
  PtyServer(const PtyServer&) = delete;
  PtyServer& operator=(const PtyServer&) = delete;

  // The end a gateway opens: the symlink if one is set, else the pty or device path.
  const std::string& path() const;
  void stop();
  // Of the first system.
  int cycle() const;
  qmr4100::Block expected_block(int cycle) const;
  // Of every system together.
  FaultCounts fault_counts() const;
  std::uint64_t answers() const;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace qmr4100::sim
