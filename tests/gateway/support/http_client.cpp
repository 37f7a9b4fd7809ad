#include "http_client.h"

#include <algorithm>
#include <cctype>

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>

namespace gwtest {

namespace asio = boost::asio;
namespace http = boost::beast::http;

namespace {

Fetched fetch_via(const std::string& source, unsigned short port, http::verb method,
                  const std::string& target, const std::string& body,
                  std::size_t extra_header_bytes) {
  asio::io_context io;
  asio::ip::tcp::socket socket(io);
  socket.open(asio::ip::tcp::v4());
  socket.bind({asio::ip::make_address(source), 0});
  boost::beast::error_code refused;
  socket.connect({asio::ip::make_address("127.0.0.1"), port}, refused);
  if (refused) return {};
  http::request<http::string_body> request(method, target, 11);
  request.set(http::field::host, "127.0.0.1");
  request.keep_alive(false);
  if (extra_header_bytes > 0) request.set("X-Padding", std::string(extra_header_bytes, 'x'));
  request.body() = body;
  request.prepare_payload();
  boost::beast::error_code error;
  http::write(socket, request, error);

  boost::beast::flat_buffer buffer;
  http::response_parser<http::string_body> parser;
  parser.body_limit(64 * 1024 * 1024);
  parser.skip(method == http::verb::head);
  http::read(socket, buffer, parser, error);
  Fetched fetched;
  if (error && !parser.is_header_done()) return fetched;
  fetched.status = parser.get().result_int();
  for (const auto& field : parser.get()) {
    std::string name(field.name_string());
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    fetched.fields[name] = std::string(field.value());
  }
  fetched.body = parser.get().body();
  return fetched;
}

}  // namespace

Fetched fetch(unsigned short port, http::verb method, const std::string& target,
              const std::string& body, std::size_t extra_header_bytes) {
  return fetch_via("127.0.0.1", port, method, target, body, extra_header_bytes);
}

Fetched get_from(const std::string& source, unsigned short port, const std::string& target) {
  return fetch_via(source, port, http::verb::get, target, "", 0);
}

}  // namespace gwtest
