#include "gateway_api.h"

#include <algorithm>
#include <memory>

#include <fmt/format.h>
#include <json/reader.h>

namespace qmr4100::ctl {
namespace {

constexpr const char* kDevices = "/api/v1/devices";
constexpr unsigned kNotFound = 404;

}  // namespace

GatewayApi::GatewayApi(GatewayUrl url, std::chrono::milliseconds timeout)
    : m_url(std::move(url)), m_timeout(timeout) {}

Document GatewayApi::Devices() const { return Get(kDevices, ""); }

Document GatewayApi::Device(const std::string& data_id) const {
  return Get(fmt::format("{}/{}", kDevices, data_id), data_id);
}

Document GatewayApi::History(const std::string& data_id) const {
  return Get(fmt::format("{}/{}/history", kDevices, data_id), data_id);
}

Document GatewayApi::Get(const std::string& target, const std::string& data_id) const {
  HttpReply reply = http_get(m_url, target, m_timeout);
  if (reply.status == kNotFound && !data_id.empty())
    throw NoSuchDevice(fmt::format("no device {} on the gateway at {}", data_id, m_url.text));
  if (reply.status != 200)
    throw Refused(fmt::format("{}{}: the gateway answered {}", m_url.text, target, reply.status));
  Document document{std::move(reply.body), {}};
  std::string errors;
  const std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
  if (!reader->parse(document.text.data(), document.text.data() + document.text.size(),
                     &document.json, &errors)) {
    // JsonCpp lists its findings on several lines; the reason stays on one.
    std::replace(errors.begin(), errors.end(), '\n', ' ');
    throw Refused(fmt::format("{}{}: not JSON: {}", m_url.text, target, errors));
  }
  return document;
}

std::string checked_data_id(const std::string& text) {
  if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != text.npos ||
      std::stoull(text) > 0xFFFFFFFFull)
    throw std::invalid_argument(
        fmt::format("'{}' is not a data id (a number 0..4294967295)", text));
  return text;
}

}  // namespace qmr4100::ctl
