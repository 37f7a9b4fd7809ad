// The plug-in and the simulator joined by real frames, in one thread: the
// commands the driver sends go to Simulator::receive, the answers come back
// through the driver's process, cut into frames as a serial layer would.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "capture_controller.h"
#include "qmr4100/sim/simulator.h"
#include "ydt1363/assembler.h"

class DriverLine {
 public:
  explicit DriverLine(qmr4100::sim::Scenario scenario, qmr4100::sim::FaultPlan faults = {});

  // Starts a cycle and carries frames both ways until the driver sends no
  // more commands. Returns whether the cycle published a block.
  bool run_cycle();

  // The last block published.
  qmr4100::Block published() const;
  // The command code of the last frame the driver sent.
  std::uint8_t last_command() const;

  std::shared_ptr<CaptureController> controller = std::make_shared<CaptureController>();
  std::shared_ptr<VARNOK_QMR4100> device;
  qmr4100::sim::Simulator simulator;
  // Everything the simulator wrote, delays and port bounces included.
  std::vector<qmr4100::sim::Simulator::Output> written;

 private:
  void deliver(std::string_view frame);

  ydt1363::FrameAssembler assembler_;
  std::size_t commands_carried_ = 0;
};
