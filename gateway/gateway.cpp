#include "gateway.h"

#include <chrono>
#include <csignal>

#include <boost/asio/post.hpp>
#include <fmt/format.h>

#include "console.h"
#include "events.h"
#include "host/SMDSPDevice.h"

namespace qmr4100::gateway {

namespace asio = boost::asio;

namespace {

std::chrono::milliseconds milliseconds(double seconds) {
  return std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
}

}  // namespace

Gateway::Gateway(GatewayOptions options)
    : m_options(std::move(options)),
      m_record(m_options.record_path.empty() ? Record() : Record(m_options.record_path)),
      m_plugin(Plugin::Load(m_options.plugin_path.empty() ? default_plugin_path()
                                                          : m_options.plugin_path)),
      m_controller(std::make_shared<GatewayController>(m_record, m_options.config.cache_dir)),
      m_deadline(m_io),
      m_signals(m_io) {
  CreateDevices();
}

Gateway::~Gateway() {
  // Batch tasks hold devices; they run before the devices and the plug-in go.
  m_controller->WaitIdle();
}

void Gateway::CreateDevices() {
  const PollSettings settings{milliseconds(m_options.config.interval),
                              milliseconds(m_options.config.timeout), m_options.cycles};
  for (const DeviceConfig& entry : m_options.config.devices) {
    Json::Value config(Json::objectValue);
    config["address"] = entry.address;
    std::shared_ptr<SMDSPDevice> device =
        m_plugin->CreateDevice(m_controller, entry.data_id, config);
    // The configuration gives every device of one line the same baud.
    std::unique_ptr<Poller>& poller = m_pollers[bus_of(entry.port)];
    if (!poller)
      poller = std::make_unique<Poller>(m_io, entry.port, entry.baud, settings,
                                        static_cast<PollObserver&>(*this));
    poller->AddDevice(device, entry.interval
                                  ? std::optional(milliseconds(*entry.interval))
                                  : std::nullopt);
    m_controller->Attach(*device, *poller);
    m_controller->RestoreFromCache(*device);
    m_published[entry.data_id] = 0;
    m_devices.push_back(std::move(device));
  }
}

int Gateway::Run() {
  m_finished = false;
  m_work.emplace(m_io.get_executor());
  // Alarm lines from the worker join the console between the driver's lines.
  m_controller->SetWorkerConsole(
      [this](std::string line) { asio::post(m_io, [line] { console_line(line); }); });
  if (m_options.deadline > 0) {
    m_deadline.expires_after(milliseconds(m_options.deadline));
    m_deadline.async_wait([this](const boost::system::error_code& error) {
      if (!error) Finish(fmt::format("deadline of {} s passed", m_options.deadline));
    });
  }
  if (m_options.handle_signals) {
    m_signals.add(SIGINT);
    m_signals.add(SIGTERM);
    m_signals.async_wait([this](const boost::system::error_code& error, int signal) {
      if (!error) Finish(signal == SIGINT ? "interrupted" : "terminated");
    });
  }
  for (auto& [port, poller] : m_pollers) poller->Start();
  m_io.run();
  m_io.restart();
  m_controller->SetWorkerConsole(console_line);
  return m_options.cycles > 0 && !CyclesReached() ? 1 : 0;
}

void Gateway::Stop() {
  asio::post(m_io, [this] { Finish("stopped"); });
}

void Gateway::Finish(const std::string& reason) {
  if (m_finished) return;
  m_finished = true;
  for (auto& [port, poller] : m_pollers) poller->Stop();
  m_deadline.cancel();
  m_signals.cancel();
  m_controller->WaitIdle();
  std::string counts;
  for (const auto& [data_id, published] : m_published)
    counts += fmt::format(" device {}: {} published;", data_id, published);
  console_line("gateway stopped: " + reason + "." + counts);
  // The run ends once the lines the worker left for the console are out.
  m_work.reset();
}

bool Gateway::CyclesReached() const {
  for (const auto& [data_id, published] : m_published)
    if (published < m_options.cycles) return false;
  return true;
}

int Gateway::PublishedCycles(unsigned int data_id) const {
  auto found = m_published.find(data_id);
  return found == m_published.end() ? 0 : found->second;
}

void Gateway::CyclePublished(SMDSPDevice& device) {
  const int count = ++m_published[device.DataId()];
  console_line(fmt::format("device {}: cycle {} published\n{}", device.DataId(), count,
                           m_controller->TakeCycleSummary(device)));
  if (m_options.cycles > 0 && CyclesReached())
    Finish(fmt::format("every device published the {} cycles asked for", m_options.cycles));
}

void Gateway::CycleFailed(SMDSPDevice& device, int step) {
  console_line(
      fmt::format("device {}: cycle ended by the driver at step {}", device.DataId(), step));
  m_record.Write(cycle_failed_event(device.DataId(), step));
}

void Gateway::CycleAbandoned(SMDSPDevice& device, int step, const std::string& reason) {
  console_line(
      fmt::format("device {}: cycle abandoned at step {}: {}", device.DataId(), step, reason));
  m_record.Write(abandoned_event(device.DataId(), step, reason));
}

void Gateway::FrameRefused(SMDSPDevice& device, int step, const std::string& problem) {
  console_line(
      fmt::format("device {}: frame refused at step {}: {}", device.DataId(), step, problem));
  m_record.Write(protocol_error_event(device.DataId(), step, problem));
}

void Gateway::PortLost(const std::string& port, const std::string& error) {
  console_line(fmt::format("port {} lost: {}; reopening", port, error));
  m_record.Write(port_lost_event(port, error));
}

void Gateway::PortRestored(const std::string& port) {
  console_line(fmt::format("port {} is back; polling resumes", port));
  m_record.Write(port_restored_event(port));
}

}  // namespace qmr4100::gateway
