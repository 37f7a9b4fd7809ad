#include "outputs/http/http_session.h"

#include <sstream>

#include <boost/asio/write.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/write.hpp>

#include "outputs/http/http_server.h"

namespace qmr4100::gateway {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;

// The page loads only its own scripts and styles and talks only to its own origin.
constexpr const char* kContentSecurityPolicy =
    "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self' data:; "
    "connect-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";

template <class Fields>
void add_common_fields(Fields& fields, const std::string& content_type) {
  fields.set(http::field::server, "qmr4100-gateway");
  fields.set(http::field::content_type, content_type);
  fields.set("Content-Security-Policy", kContentSecurityPolicy);
  fields.set("X-Content-Type-Options", "nosniff");
  fields.set("Referrer-Policy", "no-referrer");
  fields.set(http::field::cache_control, "no-store");
}

HttpReply refusal_of(const beast::error_code& error) {
  if (error == http::error::header_limit)
    return text_reply(http::status::request_header_fields_too_large, "header too large\n");
  if (error == http::error::body_limit)
    return text_reply(http::status::payload_too_large, "body too large\n");
  return text_reply(http::status::bad_request, "bad request\n");
}

}  // namespace

HttpSession::HttpSession(asio::ip::tcp::socket socket, asio::ip::address client,
                         HttpServer& server)
    : m_server(server),
      m_limits(server.Limits()),
      m_client(std::move(client)),
      m_stream(std::move(socket)) {}

// The header within header_timeout: a client that opens a connection and
// sends its header a byte at a time holds it only that long.
void HttpSession::ReadRequest() {
  m_parser.emplace();
  m_parser->header_limit(static_cast<std::uint32_t>(m_limits.header_bytes));
  m_parser->body_limit(m_limits.body_bytes);
  m_requestStart = std::chrono::steady_clock::now();
  m_stream.expires_after(std::min(m_limits.header_timeout, m_limits.read_timeout));
  http::async_read_header(m_stream, m_buffer, *m_parser,
                          [self = shared_from_this()](const beast::error_code& error,
                                                      std::size_t) { self->OnHeader(error); });
}

void HttpSession::OnHeader(const beast::error_code& error) {
  if (error) return OnRequest(error);
  m_stream.expires_at(m_requestStart + m_limits.read_timeout);
  http::async_read(m_stream, m_buffer, *m_parser,
                   [self = shared_from_this()](const beast::error_code& error, std::size_t) {
                     self->OnRequest(error);
                   });
}

void HttpSession::OnRequest(const beast::error_code& error) {
  if (m_closed) return;
  if (error == http::error::end_of_stream || error == beast::error::timeout ||
      error == asio::error::operation_aborted || error == asio::error::connection_reset ||
      error == asio::error::eof)
    return Close();
  if (error) return Reply(refusal_of(error), false, false);
  const Request& request = m_parser->get();
  m_version = request.version();
  HttpReply reply = Answer(request);
  if (reply.event_stream && request.method() == http::verb::get) {
    if (m_server.AcceptSubscriber(shared_from_this())) return StartStream();
    reply = text_reply(http::status::service_unavailable, "too many event subscribers\n");
  }
  Reply(std::move(reply), request.method() == http::verb::head, request.keep_alive());
}

// Only a few heavy replies at a time: clients asking for more in a loop get a
// short refusal instead of taking the io thread from the polling.
HttpReply HttpSession::Answer(const Request& request) {
  const std::string_view target(request.target().data(), request.target().size());
  const bool readable = request.method() == http::verb::get || request.method() == http::verb::head;
  if (readable && HttpRoutes::Heavy(target)) {
    if (!m_server.TakeHeavyReply()) {
      HttpReply busy = text_reply(http::status::service_unavailable, "busy, try again\n");
      busy.retry_after = true;
      return busy;
    }
    m_heavy = true;
  }
  return m_server.Routes().Answer(request.method(), target);
}

void HttpSession::HeavyReplyDone() {
  if (!m_heavy) return;
  m_heavy = false;
  m_server.HeavyReplySent();
}

void HttpSession::Reply(HttpReply reply, bool head, bool keep_alive) {
  m_response = {};
  m_response.version(m_version);
  m_response.result(reply.status);
  add_common_fields(m_response, reply.content_type);
  if (reply.status == http::status::method_not_allowed)
    m_response.set(http::field::allow, "GET, HEAD");
  if (reply.retry_after) m_response.set(http::field::retry_after, "1");
  m_response.keep_alive(keep_alive);
  m_response.body() = std::move(reply.body);
  m_response.prepare_payload();
  // HEAD: the length the body would have, without the body.
  if (head) m_response.body().clear();
  m_stream.expires_after(m_limits.write_timeout);
  http::async_write(
      m_stream, m_response,
      [self = shared_from_this(), keep_alive](const beast::error_code& error, std::size_t) {
        self->HeavyReplyDone();
        if (error || !keep_alive) return self->Close();
        self->ReadRequest();
      });
}

void HttpSession::StartStream() {
  m_streaming = true;
  http::response<http::empty_body> header(http::status::ok, m_version);
  add_common_fields(header, "text/event-stream; charset=utf-8");
  header.keep_alive(false);  // the stream ends with the connection
  std::ostringstream text;
  text << header.base();
  // Tells the browser to reconnect after 2 s when the gateway restarts.
  m_queue.push_back(std::make_shared<const std::string>(text.str() + "retry: 2000\n\n"));
  WriteNextMessage();
  CloseWhenClientLeaves();
}

bool HttpSession::Push(const EventMessage& message) {
  if (m_closed) return false;
  if (m_queue.size() >= m_limits.queued_events) {
    Close();
    return false;
  }
  m_queue.push_back(message);
  if (!m_writing) WriteNextMessage();
  return true;
}

void HttpSession::WriteNextMessage() {
  m_writing = true;
  m_stream.expires_after(m_limits.write_timeout);
  asio::async_write(m_stream, asio::buffer(*m_queue.front()),
                    [self = shared_from_this()](const beast::error_code& error, std::size_t) {
                      if (error || self->m_closed) return self->Close();
                      self->m_queue.pop_front();
                      self->m_writing = !self->m_queue.empty();
                      if (self->m_writing) self->WriteNextMessage();
                    });
}

// A stream client sends nothing more: anything readable means it left (or misbehaves).
void HttpSession::CloseWhenClientLeaves() {
  m_stream.socket().async_wait(
      asio::ip::tcp::socket::wait_read,
      [self = shared_from_this()](const beast::error_code&) { self->Close(); });
}

void HttpSession::Close() {
  if (m_closed) return;
  m_closed = true;
  HeavyReplyDone();
  beast::error_code ignored;
  m_stream.socket().shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
  m_stream.close();
}

}  // namespace qmr4100::gateway
