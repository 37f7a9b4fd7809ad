// The Server-Sent Events of /api/v1/events: each publication (the device's
// detail and its newest history sample), alarm transition and health
// transition as one message to every subscriber. With no subscriber a
// change costs nothing beyond the check.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <json/value.h>

#include "model/state_model.h"

namespace qmr4100::gateway {

// "event: NAME\ndata: JSON\n\n"
using EventMessage = std::shared_ptr<const std::string>;

class EventFeed : public StateListener {
 public:
  // Called for every message until it returns false (the subscriber left).
  using Subscriber = std::function<bool(const EventMessage&)>;

  void Subscribe(Subscriber subscriber) { m_subscribers.push_back(std::move(subscriber)); }

  void Published(const DeviceState& device) override;
  void HealthChanged(const DeviceState& device, const HealthChange& change) override;
  void AlarmChanged(const DeviceState& device, const AlarmChange& change) override;

 private:
  void Send(const char* event, const Json::Value& data);

  std::vector<Subscriber> m_subscribers;
};

}  // namespace qmr4100::gateway
