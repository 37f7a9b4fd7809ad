// What each request path answers: the page's files, the JSON API, the event
// stream and the metrics. Only GET and HEAD; every other method gets 405.
// Nothing here touches the file system.
#pragma once

#include <string>
#include <string_view>

#include <boost/beast/http/status.hpp>
#include <boost/beast/http/verb.hpp>

#include "gateway_metrics.h"
#include "state_model.h"

namespace qmr4100::gateway {

struct HttpReply {
  boost::beast::http::status status = boost::beast::http::status::ok;
  std::string content_type = "text/plain; charset=utf-8";
  std::string body;
  bool event_stream = false;  // /api/v1/events: the connection becomes a stream
};

class HttpRoutes {
 public:
  HttpRoutes(const StateModel& model, const GatewayMetrics& metrics)
      : m_model(model), m_metrics(metrics) {}

  // `target` as the request line has it, query included.
  HttpReply Answer(boost::beast::http::verb method, std::string_view target) const;

 private:
  HttpReply Device(std::string_view rest) const;

  const StateModel& m_model;
  const GatewayMetrics& m_metrics;
};

HttpReply text_reply(boost::beast::http::status status, std::string body);

}  // namespace qmr4100::gateway
