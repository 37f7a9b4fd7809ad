// qmr4100-sim: a power system on a serial line, for gateways to poll without
// the real one at hand.
#include <csignal>
#include <iostream>
#include <vector>

#include <CLI/CLI.hpp>

#include "qmr4100/sim/pty_server.h"
#include "qmr4100/sim/scenario.h"
#include "qmr4100/sim/simulator.h"
#include "qmr4100/version.h"

namespace {

using namespace qmr4100::sim;

struct Options {
  std::string device;
  std::string link;
  std::string scenario_file;
  bool print_default = false;
  std::string faults;
  std::uint64_t seed = 1;
  int delay_ms = static_cast<int>(Simulator::kDefaultDelay.count());
  bool paced = false;
  int baud = 9600;
  int verbose = 0;
  std::vector<int> addresses;
};

void add_options(CLI::App& app, Options& o) {
  auto* pty = app.add_flag("--pty",
                           "Serve on a new pseudo-terminal and print the path a gateway opens "
                           "(the default when --device is not given)");
  app.add_option("--device", o.device, "Serve on this serial device instead, raw 8N1 at --baud")
      ->excludes(pty);
  app.add_option("--link", o.link,
                 "Keep a symlink at PATH to the pty end; it follows the port when it bounces "
                 "and is removed at the end unless another simulator took it over");
  app.add_option("--scenario", o.scenario_file,
                 "JSON scenario to answer from (see --print-default for the format), or a list "
                 "of them, one per power system on the line")
      ->check(CLI::ExistingFile);
  app.add_flag("--print-default", o.print_default, "Print the built-in scenario as JSON and exit");
  app.add_option("--faults", o.faults,
                 "Faults to inject, NAME:RATE,... with RATE 0..1 per answer; names: noise, split, "
                 "error-code, bad-checksum, drop, delay, echo, count-mismatch, modules-above-64, "
                 "entries-above-50, short-answer, port-bounce");
  app.add_option("--seed", o.seed, "Seed of the fault generator; the same seed repeats a run")
      ->capture_default_str();
  app.add_option("--delay-ms", o.delay_ms, "How late a delayed answer comes, in ms")
      ->check(CLI::Range(0, 600000))
      ->capture_default_str();
  app.add_flag("--paced", o.paced, "Write at the character time of the baud rate");
  app.add_option("--baud", o.baud, "Baud rate of the device and of the pacing")
      ->check(CLI::IsMember({1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200}))
      ->capture_default_str();
  app.add_flag("-v,--verbose", o.verbose, "Print one line per command answered");
  app.add_option("--address", o.addresses,
                 "Answer as these addresses (ADR), e.g. 1,2,3: one power system each, as on a "
                 "shared RS-485 line, overriding the scenario's address")
      ->delimiter(',')
      ->check(CLI::Range(0, 255));
}

// The scenario's systems, or its one system at each address given.
std::vector<Scenario> chosen_systems(const Options& o) {
  std::vector<Scenario> systems =
      o.scenario_file.empty() ? std::vector{default_scenario()} : load_systems(o.scenario_file);
  if (o.addresses.empty()) return systems;
  if (systems.size() > 1)
    throw ScenarioError("--address applies to a scenario of one power system; " +
                        o.scenario_file + " lists its systems with their addresses");
  std::vector<Scenario> copies;
  for (int address : o.addresses) {
    copies.push_back(systems.front());
    copies.back().address = static_cast<std::uint8_t>(address);
  }
  return copies;
}

ServeOptions serve_options(const Options& o) {
  ServeOptions serve;
  serve.paced = o.paced;
  serve.baud = o.baud;
  serve.verbose = o.verbose;
  serve.device_path = o.device;
  serve.link_path = o.link;
  serve.delay = std::chrono::milliseconds(o.delay_ms);
  return serve;
}

bool has_fault(const FaultPlan& plan, Fault fault) {
  for (const FaultSetting& s : plan.faults) {
    if (s.fault == fault) return true;
  }
  return false;
}

// Blocks SIGINT and SIGTERM in every thread, then waits for one of them.
sigset_t stop_signals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  return set;
}

int serve(const Options& o) {
  const std::vector<Scenario> systems = chosen_systems(o);
  FaultPlan plan = parse_faults(o.faults);
  plan.seed = o.seed;
  if (has_fault(plan, Fault::PortBounce) && o.link.empty() && o.device.empty()) {
    std::cerr << "qmr4100-sim: warning: port-bounce without --link gives the gateway a new pty "
                 "path it cannot know"
              << std::endl;
  }
  const sigset_t signals = stop_signals();
  PtyServer server(systems, plan, serve_options(o));
  std::cout << server.path() << std::endl;
  int signal = 0;
  sigwait(&signals, &signal);
  server.stop();
  if (o.verbose > 0 || !plan.faults.empty()) {
    std::cerr << "qmr4100-sim: " << server.answers() << " answers, " << server.cycle()
              << " cycles; faults injected: " << format_fault_counts(server.fault_counts())
              << std::endl;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "qmr4100-sim: answers the eight polling commands of CID1 0x41 (0x42 0x43 0x44 0x91 0x95 "
      "0x9C 0x86 0xA2) like the power system, in YD/T 1363.3 frames on a pty or serial "
      "device, with optional line faults. Runs until interrupted."};
  app.set_version_flag("--version", std::string("qmr4100-sim ") + QMR4100_VERSION);
  Options options;
  add_options(app, options);
  CLI11_PARSE(app, argc, argv);

  try {
    if (options.print_default) {
      std::cout << scenario_to_json(default_scenario());
      return 0;
    }
    return serve(options);
  } catch (const std::exception& e) {
    std::cerr << "qmr4100-sim: " << e.what() << std::endl;
  } catch (...) {
    std::cerr << "qmr4100-sim: stopped by an unexpected error" << std::endl;
  }
  return 1;
}
