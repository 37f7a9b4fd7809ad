#include "outputs/http/http_settings.h"

#include <stdexcept>
#include <string_view>

#include <CLI/CLI.hpp>
#include <boost/asio/ip/address.hpp>

#include "config/problems.h"
#include "config/setting_checks.h"

namespace qmr4100::gateway {
namespace {

unsigned short port_number(std::string_view text) {
  const auto refuse = [&] {
    throw std::invalid_argument("'" + readable(text) + "' is not a port number 0..65535");
  };
  if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos)
    refuse();
  const unsigned long port = std::stoul(std::string(text));
  if (port > 65535) refuse();
  return static_cast<unsigned short>(port);
}

// An IP address, or a host name resolved when the server starts.
void check_address(const std::string& address) {
  boost::system::error_code error;
  boost::asio::ip::make_address(address, error);
  const bool numeric = address.find_first_not_of("0123456789.") == std::string::npos;
  if (error && (numeric || !is_host_name(address)))
    throw std::invalid_argument("'" + readable(address) +
                                "' is neither an IP address nor a host name");
}

}  // namespace

HttpListen parse_listen(const std::string& text) {
  HttpListen listen;
  std::string_view port = text;
  if (!text.empty() && text.front() == '[') {
    // "[::1]:8080": the brackets keep the address's colons apart from the port's.
    const std::size_t close = text.find(']');
    if (close == std::string::npos || close + 1 == text.size() || text[close + 1] != ':')
      throw std::invalid_argument("'" + readable(text) +
                                  "' has no port: write [ADDR]:PORT, e.g. [::1]:8080");
    listen.address = text.substr(1, close - 1);
    boost::system::error_code error;
    boost::asio::ip::make_address_v6(listen.address, error);
    if (error)
      throw std::invalid_argument("'" + readable(listen.address) + "' is not an IPv6 address");
    port.remove_prefix(close + 2);
  } else if (const std::size_t colon = text.rfind(':'); colon != std::string::npos) {
    if (text.find(':') != colon)
      throw std::invalid_argument("'" + readable(text) +
                                  "': an IPv6 address goes in brackets, e.g. [::1]:8080");
    listen.address = text.substr(0, colon);
    check_address(listen.address);
    port.remove_prefix(colon + 1);
  }
  listen.port = port_number(port);
  return listen;
}

void add_http_options(CLI::App& app, HttpSettings& settings) {
  app.add_option_function<std::string>(
         "--http",
         [&settings](const std::string& text) {
           try {
             settings.listen = parse_listen(text);
           } catch (const std::invalid_argument& error) {
             throw CLI::ValidationError("--http", error.what());
           }
         },
         "Serve the live page, the JSON API and /metrics on [ADDR:]PORT (ADDR defaults to "
         "127.0.0.1)")
      ->type_name("[ADDR:]PORT");
}

HttpListen parse_http_config(const Json::Value& value, const std::string& key) {
  const std::string allowed = "\"[ADDR:]PORT\" or a port number 0..65535";
  try {
    if (value.isString()) return parse_listen(value.asString());
    if (value.isUInt() && value.asUInt() <= 65535) return parse_listen(value.asString());
  } catch (const std::invalid_argument&) {
  }
  refuse(key, value, allowed);
}

}  // namespace qmr4100::gateway
