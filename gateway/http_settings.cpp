#include "http_settings.h"

#include <stdexcept>

#include <CLI/CLI.hpp>
#include <boost/asio/ip/address.hpp>

#include "config.h"
#include "json_text.h"

namespace qmr4100::gateway {
namespace {

unsigned short port_number(const std::string& text) {
  if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos)
    throw std::invalid_argument("'" + text + "' is not a port number 0..65535");
  const unsigned long port = std::stoul(text);
  if (port > 65535) throw std::invalid_argument("'" + text + "' is not a port number 0..65535");
  return static_cast<unsigned short>(port);
}

// "[::1]" names an IPv6 address; the brackets only keep its colons apart from the port's.
std::string unbracketed(const std::string& address) {
  if (address.size() >= 2 && address.front() == '[' && address.back() == ']')
    return address.substr(1, address.size() - 2);
  return address;
}

}  // namespace

HttpListen parse_listen(const std::string& text) {
  HttpListen listen;
  const std::size_t colon = text.rfind(':');
  if (colon == std::string::npos) {
    listen.port = port_number(text);
    return listen;
  }
  listen.address = unbracketed(text.substr(0, colon));
  boost::system::error_code error;
  boost::asio::ip::make_address(listen.address, error);
  if (error) throw std::invalid_argument("'" + listen.address + "' is not an IP address");
  listen.port = port_number(text.substr(colon + 1));
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
  throw ConfigError(key + ": " + json_text(value) + " is not allowed (allowed: " + allowed + ")");
}

}  // namespace qmr4100::gateway
