// Where the gateway's HTTP server listens and how much it lets clients take.
// Off unless asked for; an address must be given to listen beyond loopback.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

#include <json/value.h>

namespace CLI {
class App;
}

namespace qmr4100::gateway {

struct HttpListen {
  std::string address = "127.0.0.1";  // an IP address or a host name
  unsigned short port = 0;  // 0: the system picks one
};

struct HttpLimits {
  std::size_t header_bytes = 8 * 1024;
  std::size_t body_bytes = 1024;  // GET and HEAD need none
  // A request's header must be in within header_timeout, the whole request
  // within read_timeout, both counted from when the gateway waits for it.
  std::chrono::milliseconds header_timeout{5000};
  std::chrono::milliseconds read_timeout{10000};
  std::chrono::milliseconds write_timeout{10000};
  std::size_t connections = 64;
  std::size_t per_client = 16;      // connections from one address, among the connections
  std::size_t subscribers = 16;     // /api/v1/events streams, counted among the connections
  std::size_t queued_events = 256;  // a subscriber further behind is dropped
  std::size_t heavy_replies = 4;    // histories and metrics being sent at once; 503 beyond
};

struct HttpSettings {
  std::optional<HttpListen> listen;  // nullopt: no HTTP server
  HttpLimits limits;
};

// "8080" (loopback), "0.0.0.0:8080", "[::1]:8080", "localhost:8080" (a host
// name, resolved when the server starts). Throws std::invalid_argument.
HttpListen parse_listen(const std::string& text);

// --http [ADDR:]PORT
void add_http_options(CLI::App& app, HttpSettings& settings);

// The configuration file's "http": "[ADDR:]PORT" or a port number. Throws
// ConfigError naming the key.
HttpListen parse_http_config(const Json::Value& value, const std::string& key);

}  // namespace qmr4100::gateway
