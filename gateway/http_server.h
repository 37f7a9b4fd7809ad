// The gateway's HTTP server: the live page, the JSON API, the event stream
// and the Prometheus metrics, served on the gateway's own io thread from its
// state model. Listens on loopback unless another address is given.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

#include "event_feed.h"
#include "gateway.h"
#include "gateway_metrics.h"
#include "http_routes.h"
#include "http_settings.h"

namespace qmr4100::gateway {

class HttpSession;

class HttpServer {
 public:
  // Binds and listens at once; throws std::runtime_error naming the address
  // when it cannot (e.g. the port is taken).
  HttpServer(Gateway& gateway, const HttpListen& listen, HttpLimits limits = {});
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Any thread.
  unsigned short Port() const { return m_endpoint.port(); }
  // "http://127.0.0.1:8080/"
  std::string Url() const;
  // Closes the listening socket and every connection; io thread.
  void Stop();

  // For the sessions.
  const HttpRoutes& Routes() const { return m_routes; }
  const HttpLimits& Limits() const { return m_limits; }
  // False when the subscribers are at their limit.
  bool AcceptSubscriber(const std::shared_ptr<HttpSession>& session);

 private:
  void Accept();
  std::size_t LiveSessions();

  HttpLimits m_limits;
  GatewayMetrics m_metrics;
  EventFeed m_feed;
  HttpRoutes m_routes;
  boost::asio::ip::tcp::acceptor m_acceptor;
  boost::asio::ip::tcp::endpoint m_endpoint;  // with the port the system picked for 0
  std::vector<std::weak_ptr<HttpSession>> m_sessions;
  bool m_stopped = false;
};

}  // namespace qmr4100::gateway
