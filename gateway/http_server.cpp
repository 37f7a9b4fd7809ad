#include "http_server.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "http_session.h"

namespace qmr4100::gateway {
namespace {

namespace asio = boost::asio;
using asio::ip::tcp;

// The address written, or each address its host name resolves to, in the
// resolver's order.
std::vector<tcp::endpoint> endpoints_of(asio::io_context& io, const HttpListen& listen) {
  boost::system::error_code error;
  const asio::ip::address address = asio::ip::make_address(listen.address, error);
  if (!error) return {tcp::endpoint(address, listen.port)};
  std::vector<tcp::endpoint> endpoints;
  for (const auto& entry : tcp::resolver(io).resolve(listen.address, std::to_string(listen.port),
                                                     tcp::resolver::numeric_service))
    endpoints.push_back(entry.endpoint());
  return endpoints;
}

tcp::acceptor bound(asio::io_context& io, const tcp::endpoint& endpoint) {
  tcp::acceptor acceptor(io, endpoint.protocol());
  acceptor.set_option(tcp::acceptor::reuse_address(true));
  acceptor.bind(endpoint);
  acceptor.listen();
  return acceptor;
}

// Listens on the first address that can be bound.
tcp::acceptor listening(asio::io_context& io, const HttpListen& listen) {
  try {
    boost::system::system_error last(asio::error::host_not_found);
    for (const tcp::endpoint& endpoint : endpoints_of(io, listen)) {
      try {
        return bound(io, endpoint);
      } catch (const boost::system::system_error& error) {
        last = error;
      }
    }
    throw last;
  } catch (const boost::system::system_error& error) {
    throw std::runtime_error(fmt::format("HTTP server cannot listen on {}:{}: {}", listen.address,
                                         listen.port, error.code().message()));
  }
}

}  // namespace

HttpServer::HttpServer(Gateway& gateway, const HttpListen& listen, HttpLimits limits)
    : m_limits(limits),
      m_metrics(gateway.Model()),
      m_routes(gateway.Model(), m_metrics),
      m_acceptor(listening(gateway.Io(), listen)),
      m_endpoint(m_acceptor.local_endpoint()) {
  gateway.AddListener(m_metrics);
  gateway.AddListener(m_feed);
  // An open listening socket would keep the gateway's loop from ending.
  gateway.AtStop([this] { Stop(); });
  Accept();
}

std::string HttpServer::Url() const {
  const std::string address = m_endpoint.address().to_string();
  return fmt::format(m_endpoint.address().is_v6() ? "http://[{}]:{}/" : "http://{}:{}/", address,
                     m_endpoint.port());
}

void HttpServer::Accept() {
  m_acceptor.async_accept([this](const boost::system::error_code& error, tcp::socket socket) {
    if (m_stopped) return;
    // At the limit, a new connection is closed at once: the others and the
    // polling go on as before.
    if (!error && LiveSessions() < m_limits.connections) {
      auto session = std::make_shared<HttpSession>(std::move(socket), *this);
      m_sessions.push_back(session);
      session->Start();
    }
    Accept();
  });
}

std::size_t HttpServer::LiveSessions() {
  m_sessions.erase(std::remove_if(m_sessions.begin(), m_sessions.end(),
                                  [](const std::weak_ptr<HttpSession>& s) { return s.expired(); }),
                   m_sessions.end());
  return m_sessions.size();
}

bool HttpServer::AcceptSubscriber(const std::shared_ptr<HttpSession>& session) {
  const auto streams = std::count_if(m_sessions.begin(), m_sessions.end(), [](const auto& weak) {
    const auto other = weak.lock();
    return other && other->Streaming();
  });
  if (static_cast<std::size_t>(streams) >= m_limits.subscribers) return false;
  m_feed.Subscribe([weak = std::weak_ptr<HttpSession>(session)](const EventMessage& message) {
    const auto subscriber = weak.lock();
    return subscriber && subscriber->Push(message);
  });
  return true;
}

void HttpServer::Stop() {
  if (m_stopped) return;
  m_stopped = true;
  boost::system::error_code ignored;
  m_acceptor.close(ignored);
  for (const auto& weak : m_sessions)
    if (const auto session = weak.lock()) session->Close();
}

}  // namespace qmr4100::gateway
