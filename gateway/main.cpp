// qmr4100-gateway: runs the varnok_qmr4100 driver plug-in against power
// systems on serial lines (or the built-in simulator) and shows and records
// what it publishes.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <optional>

#include <unistd.h>

#include <CLI/CLI.hpp>

#include "block_view.h"
#include "config.h"
#include "gateway.h"
#include "qmr4100/sim/pty_server.h"
#include "qmr4100/version.h"

namespace gw = qmr4100::gateway;
namespace sim = qmr4100::sim;

namespace {

constexpr int kSetupFailed = 2;
constexpr int kSimulatedCycles = 6;
constexpr const char* kConfigHelp =
    "JSON file of the devices to poll: "
    R"({"devices":[{"port":"/dev/ttyUSB0","address":1,"data_id":1000},...],)"
    R"( optional "interval", "timeout", "cache_dir"})";

struct Flags {
  std::string plugin;
  std::string port;
  unsigned int address = 1;
  unsigned int data_id = 1000;
  std::string config;
  std::optional<double> interval;
  std::optional<double> timeout;
  std::string cache_dir;
  std::string record;
  std::optional<int> cycles;
  double deadline = 0;
  bool simulate = false;
  std::string scenario;
  std::string faults;
  std::uint64_t seed = 1;
  std::string show_cache;
};

void add_options(CLI::App& app, Flags& flags) {
  app.add_option("--plugin", flags.plugin,
                 "Driver plug-in to load (default: " + gw::default_plugin_path() + ")");
  auto* port = app.add_option("--port", flags.port, "Serial port of the one power system to poll");
  app.add_option("--address", flags.address, "ADR of that power system on its line")
      ->check(CLI::Range(0, 255))
      ->default_val(1);
  app.add_option("--data-id", flags.data_id, "Data id the device publishes under")
      ->default_val(1000);
  auto* config = app.add_option("--config", flags.config, kConfigHelp)->excludes(port);
  app.add_option(
         "--interval", flags.interval,
         "Seconds from one cycle's start to the next of a device; 0: back to back (default 5)")
      ->check(CLI::Range(0.0, 86400.0));
  app.add_option("--timeout", flags.timeout,
                 "Seconds an answer may take before the cycle is abandoned (default 2)")
      ->check(CLI::Range(0.001, 600.0));
  app.add_option("--cache-dir", flags.cache_dir,
                 "Directory of the snapshot cache (one file per device)");
  app.add_option("--record", flags.record, "Write every event as one JSON object per line to FILE");
  app.add_option(
         "--cycles", flags.cycles,
         "Stop after N publications per device (default: run until stopped; 6 with --simulate)")
      ->check(CLI::Range(0, 1000000));
  app.add_option("--deadline", flags.deadline,
                 "Give up after SECONDS (non-zero exit if --cycles are not reached)")
      ->check(CLI::Range(0.0, 1e9));
  auto* simulate = app.add_flag("--simulate", flags.simulate,
                                "Poll the built-in power-system simulator on a pseudo-terminal "
                                "(default 6 cycles, interval 0)")
                       ->excludes(port)
                       ->excludes(config);
  app.add_option("--scenario", flags.scenario, "Scenario JSON file for the simulator")
      ->needs(simulate);
  app.add_option("--faults", flags.faults,
                 "Line faults of the simulator, e.g. noise:0.1,echo:1,drop:0.05")
      ->needs(simulate);
  app.add_option("--seed", flags.seed, "Seed of the simulator's faults")->needs(simulate);
  app.add_option("--show-cache", flags.show_cache,
                 "Print every field of a cached snapshot file and exit");
}

int show_cache(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    std::cerr << path << ": cannot be read\n";
    return kSetupFailed;
  }
  const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  qmr4100::Block block{};
  if (bytes.size() != block.size()) {
    std::cerr << path << ": " << bytes.size() << " bytes; a cached snapshot has exactly "
              << block.size() << " bytes\n";
    return kSetupFailed;
  }
  std::copy(bytes.begin(), bytes.end(), block.begin());
  std::cout << gw::describe_block(block);
  return 0;
}

// The simulator's port is a symlink that follows the pseudo-terminal when it bounces.
std::unique_ptr<sim::PtyServer> start_simulator(const Flags& flags, unsigned int& address) {
  sim::Scenario scenario =
      flags.scenario.empty() ? sim::default_scenario() : sim::load_scenario(flags.scenario);
  address = scenario.address;
  sim::FaultPlan faults = flags.faults.empty() ? sim::FaultPlan{} : sim::parse_faults(flags.faults);
  faults.seed = flags.seed;
  sim::ServeOptions options;
  options.link_path =
      (std::filesystem::temp_directory_path() / ("qmr4100-gateway-sim-" + std::to_string(getpid())))
          .string();
  auto server = std::make_unique<sim::PtyServer>(std::move(scenario), std::move(faults), options);
  std::cout << "simulator serving on " << server->path() << std::endl;
  return server;
}

gw::GatewayOptions gateway_options(const Flags& flags, const std::string& simulated_port,
                                   unsigned int simulated_address) {
  gw::GatewayOptions options;
  options.plugin_path = flags.plugin;
  if (!flags.config.empty()) {
    options.config = gw::load_config(flags.config);
  } else if (flags.simulate) {
    options.config.devices = {{simulated_port, simulated_address, flags.data_id}};
    options.config.interval = 0;
  } else {
    options.config.devices = {{flags.port, flags.address, flags.data_id}};
  }
  if (flags.interval) options.config.interval = *flags.interval;
  if (flags.timeout) options.config.timeout = *flags.timeout;
  if (!flags.cache_dir.empty()) options.config.cache_dir = flags.cache_dir;
  options.record_path = flags.record;
  options.cycles = flags.cycles.value_or(flags.simulate ? kSimulatedCycles : 0);
  options.deadline = flags.deadline;
  options.handle_signals = true;
  return options;
}

int run(const Flags& flags) {
  std::unique_ptr<sim::PtyServer> simulator;
  unsigned int simulated_address = 0;
  if (flags.simulate) simulator = start_simulator(flags, simulated_address);
  const std::string simulated_port = simulator ? simulator->path() : "";
  gw::Gateway gateway(gateway_options(flags, simulated_port, simulated_address));
  const int result = gateway.Run();
  if (simulator) {
    std::cout << "simulator: " << simulator->answers() << " answers; faults injected: "
              << sim::format_fault_counts(simulator->fault_counts()) << std::endl;
  }
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "qmr4100-gateway: loads the varnok_qmr4100 driver plug-in, polls power systems "
      "on serial lines (or the built-in simulator), shows each published cycle and "
      "records every event"};
  app.set_version_flag("--version", std::string("qmr4100-gateway ") + QMR4100_VERSION);
  Flags flags;
  add_options(app, flags);
  CLI11_PARSE(app, argc, argv);

  if (!flags.show_cache.empty()) return show_cache(flags.show_cache);
  if (flags.port.empty() && flags.config.empty() && !flags.simulate) {
    std::cerr
        << "qmr4100-gateway: nothing to poll: give --port, --config or --simulate (see --help)\n";
    return kSetupFailed;
  }
  try {
    return run(flags);
  } catch (const std::exception& error) {
    std::cerr << "qmr4100-gateway: " << error.what() << "\n";
    return kSetupFailed;
  }
}
