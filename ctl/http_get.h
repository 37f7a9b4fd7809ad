// One HTTP GET to the gateway's API: connect, ask, read the whole answer,
// all within a deadline. Plain HTTP only, as the gateway serves.
#pragma once

#include <chrono>
#include <stdexcept>
#include <string>

namespace qmr4100::ctl {

// Where the gateway is: http://HOST[:PORT][/PATH]; PATH prefixes every request.
struct GatewayUrl {
  std::string host;  // without the brackets of an IPv6 address
  std::string port = "80";
  std::string base;  // "" or "/prefix", without a trailing slash
  std::string text;  // as given, for messages
};

// Throws std::invalid_argument saying what is wrong with `url`.
GatewayUrl parse_gateway_url(const std::string& url);

// The gateway could not be asked: no route, refused, timed out, closed.
class Unreachable : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct HttpReply {
  unsigned status = 0;
  std::string body;
};

// GET base + target; throws Unreachable with a one-line reason.
HttpReply http_get(const GatewayUrl& url, const std::string& target,
                   std::chrono::milliseconds timeout);

}  // namespace qmr4100::ctl
