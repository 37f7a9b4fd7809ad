#include "outputs/http/http_output.h"

namespace qmr4100::gateway {

HttpOutput::HttpOutput(HttpListen listen, HttpLimits limits)
    : m_listen(std::move(listen)), m_limits(limits) {}

void HttpOutput::Start(const OutputContext& context) {
  m_server.emplace(context, m_listen, m_limits);
}

// An open listening socket would keep the run's loop from ending.
void HttpOutput::Stop() {
  if (m_server) m_server->Stop();
}

std::string HttpOutput::Announcement() const { return "live page on " + m_server->Url(); }

void HttpOutput::Published(const DeviceState& device) {
  for (StateListener* listener : m_server->Listeners()) listener->Published(device);
}

void HttpOutput::Missed(const DeviceState& device, CycleResult result, int step,
                        const std::string& reason) {
  for (StateListener* listener : m_server->Listeners())
    listener->Missed(device, result, step, reason);
}

void HttpOutput::HealthChanged(const DeviceState& device, const HealthChange& change) {
  for (StateListener* listener : m_server->Listeners()) listener->HealthChanged(device, change);
}

void HttpOutput::AlarmChanged(const DeviceState& device, const AlarmChange& change) {
  for (StateListener* listener : m_server->Listeners()) listener->AlarmChanged(device, change);
}

void HttpOutput::PortChanged(const std::string& port, PortEvent event, const std::string& error) {
  for (StateListener* listener : m_server->Listeners()) listener->PortChanged(port, event, error);
}

}  // namespace qmr4100::gateway
