// What each request path answers: the page's files, the JSON API, the event
// stream and the metrics. Only GET and HEAD; every other method gets 405.
// Nothing here touches the file system.
#pragma once

#include <string>
#include <string_view>

#include <boost/beast/http/status.hpp>
#include <boost/beast/http/verb.hpp>

#include "model/state_model.h"
#include "outputs/http/gateway_metrics.h"
#include "outputs/http/history_replies.h"

namespace qmr4100::gateway {

struct HttpReply {
  boost::beast::http::status status = boost::beast::http::status::ok;
  std::string content_type = "text/plain; charset=utf-8";
  std::string body;
  bool event_stream = false;  // /api/v1/events: the connection becomes a stream
  bool retry_after = false;   // a refusal for now: Retry-After: 1
};

class HttpRoutes {
 public:
  HttpRoutes(const StateModel& model, const GatewayMetrics& metrics, HistoryReplies& histories)
      : m_model(model), m_metrics(metrics), m_histories(histories) {}

  // `target` as the request line has it, query included.
  HttpReply Answer(boost::beast::http::verb method, std::string_view target) const;
  // Whether the reply to `target` is one of the large ones (a history, the
  // metrics), of which the server answers only a few at a time.
  static bool Heavy(std::string_view target);

 private:
  HttpReply Device(std::string_view rest) const;

  const StateModel& m_model;
  const GatewayMetrics& m_metrics;
  HistoryReplies& m_histories;
};

HttpReply text_reply(boost::beast::http::status status, std::string body);

}  // namespace qmr4100::gateway
