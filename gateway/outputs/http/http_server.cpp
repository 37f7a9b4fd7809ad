#include "outputs/http/http_server.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "outputs/http/http_session.h"

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
// After a failed accept (no file descriptor left, no memory) the next try
// waits, longer each time, instead of failing again at once in a hot loop.
constexpr std::chrono::milliseconds kFirstAcceptRetry{100};
constexpr std::chrono::milliseconds kLastAcceptRetry{1000};

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

HttpServer::HttpServer(const OutputContext& context, const HttpListen& listen, HttpLimits limits)
    : m_limits(limits),
      m_say(context.say),
      m_metrics(context.model),
      m_histories(context.model),
      m_routes(context.model, m_metrics, m_histories),
      m_acceptor(listening(context.io, listen)),
      m_endpoint(m_acceptor.local_endpoint()),
      m_acceptRetry(context.io) {
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
    // A client that gave up before its connection was taken costs nothing.
    if (error && error != asio::error::connection_aborted) return AcceptLater(error);
    if (!error) {
      if (m_acceptDelay.count() != 0 && m_say) m_say("HTTP server accepts connections again");
      m_acceptDelay = {};
      Admit(std::move(socket));
    }
    Accept();
  });
}

void HttpServer::AcceptLater(const boost::system::error_code& error) {
  ++m_acceptFailures;
  if (m_acceptDelay.count() == 0 && m_say)
    m_say(fmt::format("HTTP server cannot accept connections: {}; retrying", error.message()));
  m_acceptDelay = m_acceptDelay.count() == 0 ? kFirstAcceptRetry
                                             : std::min(2 * m_acceptDelay, kLastAcceptRetry);
  m_acceptRetry.expires_after(m_acceptDelay);
  m_acceptRetry.async_wait([this](const boost::system::error_code& cancelled) {
    if (!cancelled && !m_stopped) Accept();
  });
}

// At a limit, a new connection is closed at once: the others and the polling
// go on as before. One client may hold only some of the connections, so that
// a client that opens many and sends nothing leaves room for the others.
void HttpServer::Admit(tcp::socket socket) {
  boost::system::error_code error;
  const tcp::endpoint client = socket.remote_endpoint(error);
  if (error || LiveSessions() >= m_limits.connections ||
      SessionsFrom(client.address()) >= m_limits.per_client)
    return;
  auto session = std::make_shared<HttpSession>(std::move(socket), client.address(), *this);
  m_sessions.push_back(session);
  session->Start();
}

std::size_t HttpServer::SessionsFrom(const asio::ip::address& client) const {
  return static_cast<std::size_t>(
      std::count_if(m_sessions.begin(), m_sessions.end(), [&client](const auto& weak) {
        const auto session = weak.lock();
        return session && session->Client() == client;
      }));
}

bool HttpServer::TakeHeavyReply() {
  if (m_heavyReplies >= m_limits.heavy_replies) return false;
  ++m_heavyReplies;
  return true;
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
  m_acceptRetry.cancel();
  for (const auto& weak : m_sessions)
    if (const auto session = weak.lock()) session->Close();
}

}  // namespace qmr4100::gateway
