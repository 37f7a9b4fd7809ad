#include "outputs/http/event_feed.h"

#include <algorithm>

#include "outputs/http/http_api.h"
#include "text/json_text.h"

namespace qmr4100::gateway {

void EventFeed::Published(const DeviceState& device) {
  if (m_subscribers.empty()) return;
  Json::Value data(Json::objectValue);
  data["device"] = device_detail(device);
  data["sample"] = latest_sample(device);
  Send("published", data);
}

void EventFeed::HealthChanged(const DeviceState& device, const HealthChange& change) {
  if (!m_subscribers.empty()) Send("health", health_event(device, change));
}

void EventFeed::AlarmChanged(const DeviceState& device, const AlarmChange& change) {
  if (!m_subscribers.empty()) Send("alarm", alarm_event(device, change));
}

void EventFeed::Send(const char* event, const Json::Value& data) {
  // json_text writes one line, so one data field carries the whole document.
  const EventMessage message = std::make_shared<const std::string>(
      std::string("event: ") + event + "\ndata: " + json_text(data) + "\n\n");
  m_subscribers.erase(std::remove_if(m_subscribers.begin(), m_subscribers.end(),
                                     [&](const Subscriber& send) { return !send(message); }),
                      m_subscribers.end());
}

}  // namespace qmr4100::gateway
