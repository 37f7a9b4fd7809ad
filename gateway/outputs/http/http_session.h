// One client connection of the HTTP server: requests and replies one after
// the other (keep-alive), each within the header, read and write timeouts,
// or, for /api/v1/events, a stream of events until either side closes it.
#pragma once

#include <chrono>
#include <deque>
#include <memory>
#include <optional>

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/string_body.hpp>

#include "outputs/http/event_feed.h"
#include "outputs/http/http_routes.h"
#include "outputs/http/http_settings.h"

namespace qmr4100::gateway {

class HttpServer;

class HttpSession : public std::enable_shared_from_this<HttpSession> {
 public:
  HttpSession(boost::asio::ip::tcp::socket socket, boost::asio::ip::address client,
              HttpServer& server);

  void Start() { ReadRequest(); }
  void Close();
  bool Streaming() const { return m_streaming && !m_closed; }
  const boost::asio::ip::address& Client() const { return m_client; }
  // Queues one message of the event stream; false once the session is closed
  // or, being too far behind, has just been closed.
  bool Push(const EventMessage& message);

 private:
  using Request = boost::beast::http::request<boost::beast::http::string_body>;

  void ReadRequest();
  void OnHeader(const boost::beast::error_code& error);
  void OnRequest(const boost::beast::error_code& error);
  HttpReply Answer(const Request& request);
  void Reply(HttpReply reply, bool head, bool keep_alive);
  void HeavyReplyDone();
  void StartStream();
  void WriteNextMessage();
  void CloseWhenClientLeaves();

  HttpServer& m_server;
  const HttpLimits& m_limits;
  boost::asio::ip::address m_client;
  boost::beast::tcp_stream m_stream;
  boost::beast::flat_buffer m_buffer;
  std::optional<boost::beast::http::request_parser<boost::beast::http::string_body>> m_parser;
  unsigned m_version = 11;
  std::chrono::steady_clock::time_point m_requestStart;
  bool m_heavy = false;  // a heavy reply of the server's few is being sent
  boost::beast::http::response<boost::beast::http::string_body> m_response;
  std::deque<EventMessage> m_queue;
  bool m_writing = false;
  bool m_streaming = false;
  bool m_closed = false;
};

}  // namespace qmr4100::gateway
