// The gateway's HTTP server: the live page, the JSON API, the event stream
// and the Prometheus metrics, served on the gateway's own io thread from its
// state model. Listens on loopback unless another address is given.
#pragma once

#include <array>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>

#include "outputs/http/event_feed.h"
#include "outputs/http/gateway_metrics.h"
#include "outputs/http/history_replies.h"
#include "outputs/http/http_routes.h"
#include "outputs/http/http_settings.h"
#include "outputs/output.h"

namespace qmr4100::gateway {

class HttpSession;

class HttpServer {
 public:
  // Binds and listens at once; throws std::runtime_error naming the address
  // when it cannot (e.g. the port is taken). It says on the console when it
  // cannot accept connections, or can again. Its listeners (Listeners) are
  // to be told every change of the model.
  HttpServer(const OutputContext& context, const HttpListen& listen, HttpLimits limits = {});
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Any thread.
  unsigned short Port() const { return m_endpoint.port(); }
  // "http://127.0.0.1:8080/"
  std::string Url() const;
  // Connections the system failed to hand over (e.g. no file descriptor left).
  std::uint64_t AcceptFailures() const { return m_acceptFailures; }
  // Closes the listening socket and every connection; io thread.
  void Stop();
  // What follows the model for the replies: metrics, event stream, histories.
  std::array<StateListener*, 3> Listeners() { return {&m_metrics, &m_feed, &m_histories}; }

  // For the sessions.
  const HttpRoutes& Routes() const { return m_routes; }
  const HttpLimits& Limits() const { return m_limits; }
  // False when the subscribers are at their limit.
  bool AcceptSubscriber(const std::shared_ptr<HttpSession>& session);
  // A heavy reply may be sent (false: heavy_replies are being sent); each
  // granted one is given back once sent.
  bool TakeHeavyReply();
  void HeavyReplySent() { --m_heavyReplies; }

 private:
  void Accept();
  void AcceptLater(const boost::system::error_code& error);
  void Admit(boost::asio::ip::tcp::socket socket);
  std::size_t LiveSessions();
  std::size_t SessionsFrom(const boost::asio::ip::address& client) const;

  HttpLimits m_limits;
  SayLine m_say;
  GatewayMetrics m_metrics;
  EventFeed m_feed;
  HistoryReplies m_histories;
  HttpRoutes m_routes;
  boost::asio::ip::tcp::acceptor m_acceptor;
  boost::asio::ip::tcp::endpoint m_endpoint;  // with the port the system picked for 0
  boost::asio::steady_timer m_acceptRetry;
  std::chrono::milliseconds m_acceptDelay{0};  // 0 while accepting works
  std::atomic<std::uint64_t> m_acceptFailures{0};
  std::vector<std::weak_ptr<HttpSession>> m_sessions;
  std::size_t m_heavyReplies = 0;
  bool m_stopped = false;
};

}  // namespace qmr4100::gateway
