// The HTTP server as an output: it listens once started, and follows the
// model for its replies until the run stops it.
#pragma once

#include <optional>
#include <string>

#include "outputs/http/http_server.h"
#include "outputs/http/http_settings.h"
#include "outputs/output.h"

namespace qmr4100::gateway {

class HttpOutput : public Output {
 public:
  HttpOutput(HttpListen listen, HttpLimits limits = {});

  // Listens; throws std::runtime_error naming the address when it cannot.
  void Start(const OutputContext& context) override;
  void Stop() override;
  // "live page on http://127.0.0.1:8080/"
  std::string Announcement() const override;

  // Once started.
  const HttpServer& Server() const { return *m_server; }

  void Published(const DeviceState& device) override;
  void Missed(const DeviceState& device, CycleResult result, int step,
              const std::string& reason) override;
  void HealthChanged(const DeviceState& device, const HealthChange& change) override;
  void AlarmChanged(const DeviceState& device, const AlarmChange& change) override;
  void PortChanged(const std::string& port, PortEvent event, const std::string& error) override;

 private:
  HttpListen m_listen;
  HttpLimits m_limits;
  std::optional<HttpServer> m_server;
};

}  // namespace qmr4100::gateway
