// The gateway: loads the driver plug-in, makes one device per configured
// power system, polls them on their serial lines from one io thread, and
// records what they publish until the cycles asked for are done, a deadline
// passes, or it is told to stop.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/steady_timer.hpp>

#include "config/config.h"
#include "model/state_model.h"
#include "outputs/console/console.h"
#include "outputs/console/console_view.h"
#include "outputs/output.h"
#include "outputs/record/record.h"
#include "outputs/record/record_view.h"
#include "poll/gateway_controller.h"
#include "poll/plugin_loader.h"
#include "poll/poller.h"
#include "poll/refused_lines.h"

namespace qmr4100::gateway {

struct GatewayOptions {
  std::string plugin_path;  // empty: default_plugin_path()
  GatewayConfig config;     // the record's file and size limit too
  std::string version;      // of the program, for the record
  std::string config_path;  // the file `config` came from; empty: none
  int cycles = 0;               // publications per device to stop after; 0: until stopped
  double deadline = 0;          // seconds until the run gives up; 0: none
  bool handle_signals = false;  // SIGINT and SIGTERM stop the run; SIGHUP is ignored
  int console_fd = STDOUT_FILENO;  // where the operator reads the gateway's lines
  Console* console = nullptr;      // the program's console, shared; none: one on console_fd
  SummaryStyle summary = SummaryStyle::Line;
  bool verbose = false;  // the driver's own lines and log lines on the console too
};

class Gateway : private PollObserver, private StateListener {
 public:
  // Loads the plug-in, creates and initialises the devices and hands them
  // their cached snapshots. Throws PluginError or std::runtime_error.
  explicit Gateway(GatewayOptions options);
  ~Gateway() override;
  Gateway(const Gateway&) = delete;
  Gateway& operator=(const Gateway&) = delete;

  // Polls until the run ends; 0 unless cycles were asked for and not reached.
  int Run();
  // Ends a run from any thread.
  void Stop();

  const std::vector<std::shared_ptr<SMDSPDevice>>& Devices() const { return m_devices; }
  int PublishedCycles(unsigned int data_id) const;
  GatewayController& Controller() { return *m_controller; }
  const StateModel& Model() const { return m_model; }
  // Listeners added before Run see every change of the run.
  void AddListener(StateListener& listener) { m_model.AddListener(listener); }
  // Before Run: starts `output`, which then hears every change of the run and
  // is stopped on the io thread when it ends. Throws what Start throws.
  void AddOutput(Output& output, SayLine say);
  boost::asio::io_context& Io() { return m_io; }

  // A line the driver wrote to standard output; any thread.
  void DriverOutput(const std::string& line);

 private:
  void CreateDevices();
  void WaitForSignal();
  void Finish(const std::string& reason);
  bool CyclesReached() const;

  void CyclePublished(SMDSPDevice& device, std::chrono::steady_clock::duration took) override;
  void CycleFailed(SMDSPDevice& device, int step, const std::string& reason,
                   std::optional<std::uint8_t> return_code) override;
  void CycleAbandoned(SMDSPDevice& device, int step, const std::string& reason) override;
  void FrameRefused(SMDSPDevice& device, int step, const std::string& problem,
                    bool retried) override;
  void NeverAnswered(SMDSPDevice& device, const std::string& hint) override;
  void PortLost(const std::string& port, const std::vector<unsigned int>& data_ids,
                const std::string& error, bool was_open) override;
  void PortRestored(const std::string& port) override;
  // The poller backs off from an offline device.
  void HealthChanged(const DeviceState& device, const HealthChange& change) override;

  // Declared in the order that lets each member outlive what uses it.
  GatewayOptions m_options;
  std::unique_ptr<Console> m_ownConsole;  // when the program gives none
  Console& m_console;
  Record m_record;
  StateModel m_model;
  ConsoleView m_consoleView;
  RecordView m_recordView;
  std::shared_ptr<Plugin> m_plugin;
  boost::asio::io_context m_io;
  std::shared_ptr<GatewayController> m_controller;
  RefusedLines m_refusedLines;
  std::map<std::string, std::unique_ptr<Poller>> m_pollers;
  std::map<unsigned int, Poller*> m_pollerOf;  // by data id
  std::vector<std::shared_ptr<SMDSPDevice>> m_devices;
  std::map<unsigned int, int> m_published;
  boost::asio::steady_timer m_deadline;
  boost::asio::signal_set m_signals;
  std::optional<boost::asio::executor_work_guard<boost::asio::io_context::executor_type>> m_work;
  std::vector<Output*> m_outputs;
  bool m_finished = false;
};

}  // namespace qmr4100::gateway
