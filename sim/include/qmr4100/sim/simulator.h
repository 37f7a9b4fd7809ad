// The protocol engine of the simulated power system: command bytes in, answer
// bytes out. It does no I/O and keeps no time; delays are returned to the caller.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "qmr4100/sim/faults.h"
#include "qmr4100/sim/scenario.h"
#include "ydt1363/assembler.h"
#include "ydt1363/frame.h"

namespace qmr4100::sim {

class Simulator {
 public:
  static constexpr std::chrono::milliseconds kDefaultDelay{3000};

  Simulator(Scenario scenario, FaultPlan faults = {});
  // The frame assembler calls back into this object.
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // One write to the line. `bounce_port` asks the server to close the port
  // and open it again before writing `bytes`.
  struct Output {
    std::string bytes;
    std::chrono::milliseconds delay{0};  // wait before writing
    bool bounce_port = false;
  };

  // Bytes received from the line; returns what to write back, in order.
  std::vector<Output> receive(std::string_view bytes);

  int cycle() const { return cycle_; }  // answered 0x42 commands so far
  const Scenario& scenario() const { return scenario_; }
  qmr4100::Block expected_block(int cycle) const;

  // Replaces the fault plan and restarts the generator from its seed.
  void set_faults(FaultPlan faults);
  // How long a delayed answer waits.
  void set_delay(std::chrono::milliseconds delay) { delay_ = delay; }

  std::uint64_t answers() const { return answers_; }  // answer frames sent
  const FaultCounts& fault_counts() const { return fault_counts_; }
  std::uint64_t injected(Fault fault) const;

  // What happened to one command addressed to this power system.
  struct Event {
    std::uint8_t address = 0;  // ADR of the command
    std::uint8_t cid2 = 0;
    bool answered = false;  // false: dropped, or the port bounced
    std::uint8_t rtn = 0;
    int cycle = 0;
    std::vector<Fault> faults;
  };
  // Keeps an event per command for take_events; off by default, so that a
  // long run without a console does not pile them up.
  void record_events(bool on) { record_events_ = on; }
  // Events since the last call, oldest first.
  std::vector<Event> take_events() { return std::move(events_); }

 private:
  void on_frame(std::string_view frame);
  void answer(const ydt1363::Header& command, Event& event);
  std::vector<std::uint8_t> answer_content(std::uint8_t cid2, Event& event);
  void send(std::string frame, Event& event);
  void finish(Event& event);
  bool roll(Fault fault);
  bool inject(Fault fault, Event& event);

  Scenario scenario_;
  FaultPlan plan_;
  std::mt19937_64 rng_;
  std::chrono::milliseconds delay_ = kDefaultDelay;
  ydt1363::FrameAssembler assembler_;
  std::vector<Output> pending_;
  int cycle_ = 0;
  std::uint64_t answers_ = 0;
  FaultCounts fault_counts_{};
  bool record_events_ = false;
  std::vector<Event> events_;
  std::array<std::uint8_t, ydt1363::kMaxInfoBytes> command_info_{};
};

// "cycle 3: 0x42 answered RTN 00, faults: noise split"
std::string format_event(const Simulator::Event& event);

}  // namespace qmr4100::sim
