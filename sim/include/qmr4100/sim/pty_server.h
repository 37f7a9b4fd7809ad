// Serves a Simulator on a pseudo-terminal it creates, or on a serial device,
// from its own thread.
#pragma once

#include <chrono>
#include <memory>
#include <string>

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
  ~PtyServer();
  PtyServer(const PtyServer&) = delete;
  PtyServer& operator=(const PtyServer&) = delete;

  // The end a gateway opens: the symlink if one is set, else the pty or device path.
  const std::string& path() const;
  void stop();
  int cycle() const;
  qmr4100::Block expected_block(int cycle) const;
  FaultCounts fault_counts() const;
  std::uint64_t answers() const;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace qmr4100::sim
