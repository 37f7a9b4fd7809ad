#include "http_get.h"

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>
#include <fmt/format.h>

namespace qmr4100::ctl {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

constexpr std::string_view kScheme = "http://";
// A history of 720 publications of 64 modules is about half a megabyte.
constexpr std::uint64_t kBodyLimit = 64 * 1024 * 1024;

bool is_port(const std::string& text) {
  return !text.empty() && text.size() <= 5 && text.find_first_not_of("0123456789") == text.npos &&
         std::stoul(text) > 0 && std::stoul(text) <= 65535;
}

// The asynchronous operations, run on a private io_context, are what the
// stream's deadline applies to.
class Request {
 public:
  Request(const GatewayUrl& url, std::string target, std::chrono::milliseconds timeout)
      : m_url(url), m_stream(m_io), m_timeout(timeout) {
    m_request.target(std::move(target));
    m_request.set(http::field::host, url.host + ":" + url.port);
    m_request.set(http::field::user_agent, "qmr4100ctl");
    m_request.set(http::field::connection, "close");
    m_parser.body_limit(kBodyLimit);
  }

  HttpReply Run() {
    tcp::resolver resolver(m_io);
    beast::error_code error;
    const tcp::resolver::results_type endpoints =
        resolver.resolve(m_url.host, m_url.port, tcp::resolver::numeric_service, error);
    if (error) Fail("cannot resolve " + m_url.host, error);
    m_stream.expires_after(m_timeout);
    m_stream.async_connect(endpoints, [this](beast::error_code e, const tcp::endpoint&) {
      if (e) return Done("cannot connect", e);
      http::async_write(m_stream, m_request, [this](beast::error_code e, std::size_t) {
        if (e) return Done("cannot send the request", e);
        http::async_read(m_stream, m_buffer, m_parser, [this](beast::error_code e, std::size_t) {
          Done("no complete answer", e);
        });
      });
    });
    m_io.run();
    if (m_error) Fail(m_what, m_error);
    return {m_parser.get().result_int(), std::move(m_parser.get().body())};
  }

 private:
  void Done(const char* what, beast::error_code error) {
    m_what = what;
    m_error = error;
  }
  [[noreturn]] void Fail(const std::string& what, beast::error_code error) const {
    const std::string reason = error == beast::error::timeout
                                   ? fmt::format("no answer within {} ms", m_timeout.count())
                                   : error.message();
    throw Unreachable(fmt::format("{}: {}: {}", m_url.text, what, reason));
  }

  const GatewayUrl& m_url;
  asio::io_context m_io;
  beast::tcp_stream m_stream;
  std::chrono::milliseconds m_timeout;
  http::request<http::empty_body> m_request{http::verb::get, "/", 11};
  beast::flat_buffer m_buffer;
  http::response_parser<http::string_body> m_parser;
  std::string m_what;
  beast::error_code m_error;
};

}  // namespace

GatewayUrl parse_gateway_url(const std::string& url) {
  const auto refuse = [&url](const std::string& why) {
    return std::invalid_argument(fmt::format("--url '{}': {}", url, why));
  };
  if (url.compare(0, kScheme.size(), kScheme) != 0)
    throw refuse("expected http://HOST[:PORT][/PATH] (the gateway serves plain HTTP)");
  GatewayUrl parsed;
  parsed.text = url;
  std::string rest = url.substr(kScheme.size());
  const std::size_t slash = rest.find('/');
  if (slash != std::string::npos) {
    parsed.base = rest.substr(slash);
    while (!parsed.base.empty() && parsed.base.back() == '/') parsed.base.pop_back();
    rest.resize(slash);
  }
  std::string port_text;
  if (!rest.empty() && rest.front() == '[') {
    const std::size_t close = rest.find(']');
    if (close == std::string::npos) throw refuse("an IPv6 address needs its closing ']'");
    parsed.host = rest.substr(1, close - 1);
    if (close + 1 < rest.size()) {
      if (rest[close + 1] != ':') throw refuse("expected ':' and a port after ']'");
      port_text = rest.substr(close + 2);
      if (!is_port(port_text)) throw refuse("'" + port_text + "' is not a port 1..65535");
    }
  } else {
    const std::size_t colon = rest.rfind(':');
    parsed.host = rest.substr(0, colon);
    if (colon != std::string::npos) {
      port_text = rest.substr(colon + 1);
      if (!is_port(port_text)) throw refuse("'" + port_text + "' is not a port 1..65535");
    }
  }
  if (parsed.host.empty()) throw refuse("no host");
  if (!port_text.empty()) parsed.port = port_text;
  return parsed;
}

HttpReply http_get(const GatewayUrl& url, const std::string& target,
                   std::chrono::milliseconds timeout) {
  return Request(url, url.base + target, timeout).Run();
}

}  // namespace qmr4100::ctl
