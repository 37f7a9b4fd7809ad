#include "outputs/http/http_routes.h"

#include <optional>

#include "outputs/http/http_api.h"
#include "outputs/http/metrics_text.h"
#include "outputs/http/web_assets.h"
#include "text/json_text.h"

namespace qmr4100::gateway {
namespace {

namespace http = boost::beast::http;

constexpr std::string_view kDevices = "/api/v1/devices";
constexpr std::string_view kHistory = "/history";

HttpReply json_reply(const Json::Value& document) {
  return {http::status::ok, "application/json", json_text(document) + "\n"};
}

bool starts_with(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool ends_with(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

std::string_view path_of(std::string_view target) { return target.substr(0, target.find('?')); }

// A data id as written in a path: decimal digits only, within 32 bits.
std::optional<unsigned int> data_id_of(std::string_view text) {
  if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != text.npos)
    return std::nullopt;
  const unsigned long long value = std::stoull(std::string(text));
  if (value > 0xFFFFFFFFull) return std::nullopt;
  return static_cast<unsigned int>(value);
}

}  // namespace

HttpReply text_reply(http::status status, std::string body) {
  return {status, "text/plain; charset=utf-8", std::move(body)};
}

HttpReply HttpRoutes::Answer(http::verb method, std::string_view target) const {
  if (method != http::verb::get && method != http::verb::head)
    return text_reply(http::status::method_not_allowed, "only GET and HEAD\n");
  const std::string_view path = path_of(target);
  if (const WebAsset* asset = find_web_asset(path))
    return {http::status::ok, std::string(asset->content_type), std::string(asset->body)};
  if (path == "/healthz") return text_reply(http::status::ok, "ok\n");
  if (path == "/metrics")
    return {http::status::ok, kMetricsContentType, metrics_text(m_model, m_metrics)};
  if (path == "/api/v1/events") return {http::status::ok, "text/event-stream", "", true};
  if (path == kDevices) {
    Json::Value list(Json::arrayValue);
    m_model.ReadAll([&list](const DeviceState& device) { list.append(device_summary(device)); });
    return json_reply(list);
  }
  if (starts_with(path, std::string(kDevices) + "/"))
    return Device(path.substr(kDevices.size() + 1));
  return text_reply(http::status::not_found, "not found\n");
}

bool HttpRoutes::Heavy(std::string_view target) {
  const std::string_view path = path_of(target);
  return path == "/metrics" || (starts_with(path, kDevices) && ends_with(path, kHistory));
}

// "ID" or "ID/history"
HttpReply HttpRoutes::Device(std::string_view rest) const {
  const bool history = rest.size() > kHistory.size() && ends_with(rest, kHistory);
  const std::optional<unsigned int> data_id =
      data_id_of(history ? rest.substr(0, rest.size() - kHistory.size()) : rest);
  if (!data_id || !m_model.Has(*data_id))
    return text_reply(http::status::not_found, "no such device\n");
  if (history) return {http::status::ok, "application/json", *m_histories.Text(*data_id) + "\n"};
  return json_reply(m_model.Read(*data_id, [](const DeviceState& device) {
    return device_detail(device);
  }));
}

}  // namespace qmr4100::gateway
