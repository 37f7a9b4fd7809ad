// qmr4100-gateway: runs the varnok_qmr4100 driver plug-in against power
// systems on serial lines (or the built-in simulator) and shows and records
// what it publishes.
#include <atomic>
#include <climits>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <fmt/format.h>

#include "cache/cache_show.h"
#include "config/config.h"
#include "config/setting_checks.h"
#include "outputs/http/http_settings.h"
#include "outputs/mqtt/mqtt_settings.h"
#include "outputs/registry.h"
#include "outputs/snmp/snmp_options.h"
#include "poll/stdout_capture.h"
#include "qmr4100/sim/pty_server.h"
#include "qmr4100/version.h"
#include "run/gateway.h"

namespace gw = qmr4100::gateway;
namespace sim = qmr4100::sim;

namespace {

constexpr int kSetupFailed = 2;
constexpr int kSimulatedCycles = 6;
constexpr const char* kConfigHelp =
    "JSON file of the devices to poll: "
    R"({"devices":[{"port":"/dev/ttyUSB0","address":1,"data_id":1000},...]}; a device may )"
    R"(also have "name", "baud" (default 9600), "interval" and "fields"; optional at the top: )"
    R"("interval", "timeout", "cache_dir", "record", "record_max_mb", "record_keep", )"
    R"("record_trace", "offline_after", )"
    R"("fields" (value name -> {"label": ..., "unit": ...}), "mqtt", "snmp", "http"; )"
    R"(the README's table explains each (installed as /usr/share/doc/qmr4100-tools/README.md.gz))";

struct Flags {
  std::string plugin;
  std::string port;
  unsigned int address = 1;
  unsigned int data_id = 1000;
  unsigned int baud = 9600;
  std::string name;
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
  std::string check_config;
  std::optional<double> record_max_mb;
  std::optional<int> record_kept;
  bool record_trace = false;
  std::optional<int> offline_after;
  bool verbose = false;
  std::string summary = "line";
  gw::MqttFlags mqtt;
  gw::SnmpFlags snmp;
  gw::HttpSettings http;
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
  app.add_option("--baud", flags.baud, "Baud of that power system's line (default 9600)")
      ->check(gw::baud_check())
      ->excludes(config);
  app.add_option("--name", flags.name,
                 "Name shown for that power system (default: device <data id>)")
      ->check(gw::text_check())
      ->excludes(config);
  app.add_option(
         "--interval", flags.interval,
         "Seconds from one cycle's start to the next of a device; 0: back to back (default 5)")
      ->check(gw::number_check(gw::kIntervalRange));
  app.add_option("--timeout", flags.timeout,
                 "Seconds an answer may take before the cycle is abandoned (default 2)")
      ->check(gw::number_check(gw::kTimeoutRange));
  app.add_option("--cache-dir", flags.cache_dir,
                 "Directory of the snapshot cache (one file per device)");
  app.add_option("--record", flags.record,
                 "Append every event as one JSON object per line to FILE");
  app.add_option("--record-max-mb", flags.record_max_mb,
                 "Start a new record file when it reaches this size; older ones become "
                 "FILE.1, FILE.2, ...")
      ->check(gw::number_check(gw::kRecordMbRange));
  app.add_option("--record-keep", flags.record_kept,
                 "Older record files kept when it rotates (default 5)")
      ->check(CLI::Range(0, 100));
  app.add_flag("--record-trace", flags.record_trace,
               "Record every alarm point's evaluation too (over a thousand lines a cycle); "
               "by default the record holds each batch's counts");
  app.add_option("--offline-after", flags.offline_after,
                 "Cycles without a publication after which a device is offline (default 3)")
      ->check(CLI::Range(1, 1000));
  app.add_flag("-v,--verbose", flags.verbose,
               "Show the driver's own output lines on the console too (they are always "
               "recorded)");
  app.add_option("--summary", flags.summary,
                 "Console view of a published cycle: line (one line) or full (every module)")
      ->check(CLI::IsMember({"line", "full"}));
  app.add_option(
         "--cycles", flags.cycles,
         "Stop after N publications per device (default: run until stopped; 6 with --simulate)")
      ->check(CLI::Range(0, 1000000));
  app.add_option("--deadline", flags.deadline,
                 "Give up after SECONDS (non-zero exit if --cycles are not reached)")
      ->check(gw::number_check(gw::kDeadlineRange));
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
  gw::add_http_options(app, flags.http);
  app.add_option("--show-cache", flags.show_cache,
                 "Check and print every field of a snapshot cache file, or of each cache file "
                 "in a directory, and exit");
  app.add_option("--check-config", flags.check_config,
                 "Check a configuration file as a run would read it, with the other flags "
                 "given, list every problem and exit (0: valid, 2: not); opens no port, loads "
                 "no plug-in")
      ->excludes(config)
      ->excludes(port)
      ->excludes(simulate);
  gw::add_mqtt_options(app, flags.mqtt);
  gw::add_snmp_options(app, flags.snmp);
}

// The simulator's link, named after this process and so ours alone to remove.
char g_simulator_link[PATH_MAX];

extern "C" void remove_link_and_stop(int signal) {
  ::unlink(g_simulator_link);
  std::raise(signal);  // the default action, restored on entry, ends the program
}

// The gateway handles SIGINT and SIGTERM only while it runs; one that comes
// while it sets up, or SIGHUP, would end the program with the link left behind.
void remove_link_on_signals(const std::string& link) {
  std::snprintf(g_simulator_link, sizeof g_simulator_link, "%s", link.c_str());
  struct sigaction action {};
  action.sa_handler = remove_link_and_stop;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGHUP, SIGINT, SIGTERM}) sigaction(signal, &action, nullptr);
}

// The simulator's port is a symlink that follows the pseudo-terminal when it bounces.
std::unique_ptr<sim::PtyServer> start_simulator(const Flags& flags, unsigned int& address,
                                                gw::Console& console) {
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
  remove_link_on_signals(options.link_path);
  console.Line("simulator serving on " + server->path());
  return server;
}

gw::GatewayOptions gateway_options(const Flags& flags, const std::string& simulated_port,
                                   unsigned int simulated_address, int console_fd) {
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
  if (flags.config.empty()) {
    options.config.devices.front().baud = flags.baud;
    options.config.devices.front().name = flags.name;
  }
  if (flags.interval) options.config.interval = *flags.interval;
  if (flags.timeout) options.config.timeout = *flags.timeout;
  if (!flags.cache_dir.empty()) options.config.cache_dir = flags.cache_dir;
  if (!flags.record.empty()) options.config.record = flags.record;
  if (flags.record_max_mb) options.config.record_max_mb = *flags.record_max_mb;
  if (flags.offline_after) options.config.offline_after = *flags.offline_after;
  flags.snmp.ApplyTo(options.config.snmp);
  if (flags.http.listen) options.config.http = flags.http.listen;
  if (flags.record_kept) options.config.record_keep = *flags.record_kept;
  if (flags.record_trace) options.config.record_trace = true;
  options.version = QMR4100_VERSION;
  options.config_path = flags.config;
  options.console_fd = console_fd;
  options.verbose = flags.verbose;
  options.summary = flags.summary == "full" ? gw::SummaryStyle::Full : gw::SummaryStyle::Line;
  options.cycles = flags.cycles.value_or(flags.simulate ? kSimulatedCycles : 0);
  options.deadline = flags.deadline;
  options.handle_signals = true;
  return options;
}

gw::OutputSettings output_settings(const Flags& flags, const gw::GatewayConfig& config) {
  gw::OutputSettings settings;
  settings.http = config.http;
  settings.http_limits = flags.http.limits;
  settings.mqtt = gw::apply_mqtt_flags(flags.mqtt, config.mqtt);
  settings.snmp = config.snmp;
  return settings;
}

// Reads what a run would read before it opens anything: the file, the flags
// beside it, the MQTT password. Problems are thrown as a run throws them.
int check_config(Flags flags) {
  flags.config = flags.check_config;
  const gw::GatewayOptions options = gateway_options(flags, "", 0, STDOUT_FILENO);
  const gw::OutputSettings outputs = output_settings(flags, options.config);
  gw::check_outputs(outputs, [](const std::string& line) { std::cout << line << "\n"; });
  const std::size_t devices = options.config.devices.size();
  std::cout << fmt::format("{}: configuration is valid ({} device{}; {})\n", flags.check_config,
                           devices, devices == 1 ? "" : "s", gw::describe_outputs(outputs));
  return 0;
}

int run(const Flags& flags) {
  std::unique_ptr<sim::PtyServer> simulator;
  // The one console of every line; it outlives the gateway, which writes to it.
  std::optional<gw::Console> console_slot;
  // Declared before the capture, which hands it lines until the capture ends.
  std::optional<gw::Gateway> gateway;
  std::atomic<gw::Gateway*> recipient{nullptr};
  gw::StdoutCapture capture;
  gw::Console& console = console_slot.emplace(capture.ConsoleFd());
  capture.Start([&recipient, &console, &flags](const std::string& line) {
    if (gw::Gateway* target = recipient.load()) {
      target->DriverOutput(line);
    } else if (flags.verbose) {
      console.Line(line);
    }
  });

  unsigned int simulated_address = 0;
  if (flags.simulate) simulator = start_simulator(flags, simulated_address, console);
  const std::string simulated_port = simulator ? simulator->path() : "";
  gw::GatewayOptions options =
      gateway_options(flags, simulated_port, simulated_address, capture.ConsoleFd());
  options.console = &console;
  std::vector<std::unique_ptr<gw::Output>> outputs =
      gw::make_outputs(output_settings(flags, options.config));
  gateway.emplace(std::move(options));
  recipient = &*gateway;
  for (const auto& output : outputs) {
    gateway->AddOutput(*output, [&console](const std::string& line) { console.TimedLine(line); });
    const std::string announcement = output->Announcement();
    if (!announcement.empty()) console.Line(announcement);
  }
  const int result = gateway->Run();
  // MQTT says what is current and closes before the simulator's line.
  outputs.clear();
  if (simulator) {
    console.Line(fmt::format("simulator: {} answers; faults injected: {}", simulator->answers(),
                             sim::format_fault_counts(simulator->fault_counts())));
    // Its link goes before the gateway, whose signal handling ends with it.
    simulator.reset();
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
  // A console whose reader went away is a failed write, which the console
  // handles, and not the end of polling.
  std::signal(SIGPIPE, SIG_IGN);
  CLI11_PARSE(app, argc, argv);

  // Nothing may end the program through std::terminate.
  try {
    if (!flags.show_cache.empty()) return gw::show_cache(flags.show_cache, std::cout, std::cerr);
    if (!flags.check_config.empty()) return check_config(flags);
    if (flags.port.empty() && flags.config.empty() && !flags.simulate) {
      std::cerr << "qmr4100-gateway: nothing to poll: give --port, --config or --simulate (see "
                   "--help)\n";
      return kSetupFailed;
    }
    return run(flags);
  } catch (const std::exception& error) {
    std::cerr << "qmr4100-gateway: " << error.what() << "\n";
  } catch (...) {
    std::cerr << "qmr4100-gateway: stopped by an unexpected error\n";
  }
  return kSetupFailed;
}
