#include "run/gateway.h"

#include <chrono>
#include <csignal>

#include <boost/asio/post.hpp>
#include <fmt/format.h>

#include "host/SMDSPDevice.h"
#include "outputs/record/events.h"

namespace qmr4100::gateway {

namespace asio = boost::asio;

namespace {

std::chrono::milliseconds milliseconds(double seconds) {
  return std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
}

RecordOptions record_options(const GatewayConfig& config) {
  constexpr double kBytesPerMegabyte = 1024.0 * 1024.0;
  RecordOptions options;
  options.path = config.record;
  options.max_bytes = static_cast<std::uint64_t>(config.record_max_mb * kBytesPerMegabyte);
  options.kept = config.record_keep;
  return options;
}

}  // namespace

Gateway::Gateway(GatewayOptions options)
    : m_options(std::move(options)),
      m_ownConsole(m_options.console ? nullptr
                                     : std::make_unique<Console>(m_options.console_fd)),
      m_console(m_options.console ? *m_options.console : *m_ownConsole),
      m_record(record_options(m_options.config),
               [this](const std::string& line) { m_console.TimedLine(line); }),
      m_model(m_options.config),
      m_consoleView(m_console, m_options.summary),
      m_recordView(m_record),
      m_plugin(Plugin::Load(m_options.plugin_path.empty() ? default_plugin_path()
                                                          : m_options.plugin_path)),
      m_controller(std::make_shared<GatewayController>(m_record, m_console, m_model,
                                                       m_options.config.cache_dir)),
      m_refusedLines(m_io, m_console),
      m_deadline(m_io),
      m_signals(m_io) {
  m_model.AddListener(m_consoleView);
  if (m_record.Enabled()) m_model.AddListener(m_recordView);
  m_model.AddListener(static_cast<StateListener&>(*this));
  m_controller->ShowLogLines(m_options.verbose);
  m_controller->RecordTrace(m_options.config.record_trace);
  m_record.Write(gateway_started_event(m_options.version, m_options.config_path,
                                       m_options.config.devices));
  CreateDevices();
}

Gateway::~Gateway() {
  // Batch tasks hold devices; they run before the devices and the plug-in go.
  m_controller->WaitIdle();
  m_controller->FlushCache();
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
    const std::string bus = bus_of(entry.port);
    std::unique_ptr<Poller>& poller = m_pollers[bus];
    if (!poller)
      poller = std::make_unique<Poller>(m_io, entry.port, entry.baud, settings,
                                        static_cast<PollObserver&>(*this));
    poller->AddDevice(device, entry.interval
                                  ? std::optional(milliseconds(*entry.interval))
                                  : std::nullopt);
    m_controller->Attach(*device, *poller);
    m_pollerOf[entry.data_id] = poller.get();
    m_controller->RestoreFromCache(*device);
    m_published[entry.data_id] = 0;
    m_devices.push_back(std::move(device));
  }
}

void Gateway::AddOutput(Output& output, SayLine say) {
  output.Start(OutputContext{m_io, m_model, std::move(say)});
  if (const ViewWriter write = output.KeptView()) m_model.KeepViewTexts(write);
  m_model.AddListener(output);
  m_outputs.push_back(&output);
}

int Gateway::Run() {
  m_finished = false;
  m_work.emplace(m_io.get_executor());
  // Alarm changes found on the worker reach the state model on the io thread;
  // console lines go out together once the loop has done what was ready.
  m_controller->SetHandOff([this](std::function<void()> work) { asio::post(m_io, std::move(work)); });
  m_console.SetScheduler([this](std::function<void()> flush) { asio::post(m_io, std::move(flush)); });
  if (m_options.deadline > 0) {
    m_deadline.expires_after(milliseconds(m_options.deadline));
    m_deadline.async_wait([this](const boost::system::error_code& error) {
      if (!error) Finish(fmt::format("deadline of {} s passed", m_options.deadline));
    });
  }
  if (m_options.handle_signals) {
    m_signals.add(SIGINT);
    m_signals.add(SIGTERM);
    m_signals.add(SIGHUP);
    WaitForSignal();
  }
  for (auto& [port, poller] : m_pollers) poller->Start();
  m_io.run();
  m_io.restart();
  // The last cycle's block and alarm points are on disk before Run returns.
  m_controller->FlushCache();
  m_controller->SetHandOff([](std::function<void()> work) { work(); });
  m_console.SetScheduler(nullptr);
  return m_options.cycles > 0 && !CyclesReached() ? 1 : 0;
}

// SIGHUP would end the process, and systemd does not restart a service that
// a signal ended cleanly; until it means something the gateway goes on.
void Gateway::WaitForSignal() {
  m_signals.async_wait([this](const boost::system::error_code& error, int signal) {
    if (error) return;
    if (signal != SIGHUP) return Finish(signal == SIGINT ? "interrupted" : "terminated");
    m_console.TimedLine(
        "SIGHUP ignored: the configuration is read at start only; restart the gateway to "
        "apply a changed one");
    WaitForSignal();
  });
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
  for (Output* output : m_outputs) output->Stop();
  m_controller->WaitIdle();
  m_refusedLines.Flush();
  std::string counts;
  for (const auto& [data_id, published] : m_published)
    counts += fmt::format(" device {}: {} published;", data_id, published);
  m_console.TimedLine("gateway stopped: " + reason + "." + counts);
  m_record.Write(gateway_stopped_event(reason, m_published));
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

void Gateway::DriverOutput(const std::string& line) {
  if (m_options.verbose) m_console.Line(line);
  m_record.Write(driver_output_event(line));
}

void Gateway::CyclePublished(SMDSPDevice& device, std::chrono::steady_clock::duration took) {
  const int count = ++m_published[device.DataId()];
  m_model.Published(device.DataId(), m_controller->LastBlock(device),
                    m_controller->TakePoints(device), WallClock::now(), took);
  if (m_options.cycles > 0 && count >= m_options.cycles && CyclesReached())
    Finish(fmt::format("every device published the {} cycles asked for", m_options.cycles));
}

void Gateway::CycleFailed(SMDSPDevice& device, int step, const std::string& reason,
                          std::optional<std::uint8_t> return_code) {
  if (return_code) m_model.ErrorReply(device.DataId(), *return_code);
  m_model.Missed(device.DataId(), CycleResult::Failed, step, reason);
}

void Gateway::CycleAbandoned(SMDSPDevice& device, int step, const std::string& reason) {
  m_model.Missed(device.DataId(), CycleResult::Abandoned, step, reason);
}

void Gateway::FrameRefused(SMDSPDevice& device, int step, const std::string& problem,
                           bool retried) {
  if (retried) m_model.Retried(device.DataId());
  m_refusedLines.Refused(device.DataId(), step, problem);
  if (!m_record.Enabled()) return;
  Json::Value event = protocol_error_event(device.DataId(), step, problem);
  if (retried) event["retried"] = true;
  m_record.Write(std::move(event));
}

void Gateway::NeverAnswered(SMDSPDevice& device, const std::string& hint) {
  m_console.TimedLine(fmt::format("device {}: {}", device.DataId(), hint));
}

void Gateway::PortLost(const std::string& port, const std::vector<unsigned int>& data_ids,
                       const std::string& error, bool was_open) {
  m_model.PortDown(port, was_open ? PortEvent::Lost : PortEvent::CannotOpen, error, data_ids);
}

void Gateway::PortRestored(const std::string& port) { m_model.PortUp(port); }

void Gateway::HealthChanged(const DeviceState& device, const HealthChange& change) {
  m_pollerOf.at(device.DataId())->SetOffline(device.DataId(), change.to == Health::Offline);
}

}  // namespace qmr4100::gateway
