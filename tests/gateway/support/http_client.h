// A blocking HTTP/1.1 client for the HTTP server's tests: one request per
// connection, the reply read whole.
#pragma once

#include <map>
#include <string>

#include <boost/beast/http/verb.hpp>

namespace gwtest {

struct Fetched {
  unsigned status = 0;                        // 0: the server closed the connection without a reply
  std::map<std::string, std::string> fields;  // field names in lower case
  std::string body;

  // "" for a field the reply does not have.
  std::string Field(const std::string& name) const {
    const auto found = fields.find(name);
    return found == fields.end() ? "" : found->second;
  }
};

// `extra_header_bytes` pads the request with one large header field.
Fetched fetch(unsigned short port, boost::beast::http::verb method, const std::string& target,
              const std::string& body = "", std::size_t extra_header_bytes = 0);
inline Fetched get(unsigned short port, const std::string& target) {
  return fetch(port, boost::beast::http::verb::get, target);
}
// GET from another loopback address (127.0.0.2 ...): the server sees another client.
Fetched get_from(const std::string& source, unsigned short port, const std::string& target);

}  // namespace gwtest
