// The gateway's MQTT output: every device's state, availability and alarms as
// retained messages, each transition as an event, and Home Assistant
// discovery, published from the gateway's io thread as the state model
// changes. The client's network thread only hands its news (connected, down)
// to the io thread, so all publishing decisions are taken on one thread.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

#include <boost/asio/io_context.hpp>

#include "outputs/mqtt/mqtt_client.h"
#include "outputs/mqtt/mqtt_event_queue.h"
#include "outputs/mqtt/mqtt_settings.h"
#include "outputs/output.h"

namespace qmr4100::gateway {

class MqttOutput : public Output {
 public:
  explicit MqttOutput(MqttSettings settings);
  ~MqttOutput() override;

  // Reads the password (mqtt_password.h) and starts connecting; the run goes
  // on whether or not the broker is there. Throws ConfigError or std::runtime_error.
  void Start(const OutputContext& context) override;
  // The decoded view's text goes out at every publication.
  ViewWriter KeptView() const override;
  // After the run: what is current goes out if the connection is up, then
  // the gateway's status turns offline and the connection closes.
  void Close();

  // io thread (or after the run).
  std::size_t EventsWaiting() const { return m_waiting.Size(); }
  // Retained messages held back for a broker that does not acknowledge, one a topic.
  std::size_t RetainedHeld() const { return m_held.size(); }
  // Any thread, while started.
  std::size_t Unacknowledged() const { return m_client->Unacknowledged(); }

  void Published(const DeviceState& device) override;
  void HealthChanged(const DeviceState& device, const HealthChange& change) override;
  void AlarmChanged(const DeviceState& device, const AlarmChange& change) override;

 private:
  void Connected();
  void Down(const std::string& reason, std::chrono::seconds retry);
  void Drained();
  // Connected and the broker acknowledges; otherwise says it holds, once.
  bool Accepting();
  void PublishEverything();
  // Unless `again`, only when the module count changed.
  void PublishDiscovery(const DeviceState& device, bool again);
  void PublishAlarms();
  void Retained(const MqttMessage& message);
  void Event(MqttMessage message);
  void SendWaiting();

  MqttSettings m_settings;
  boost::asio::io_context* m_io = nullptr;  // once started
  const StateModel* m_model = nullptr;
  SayLine m_say;
  std::unique_ptr<MqttClient> m_client;
  bool m_connected = false;  // as the io thread last heard
  bool m_queueFullSaid = false;
  bool m_holdingSaid = false;
  std::string m_problem;     // the last one said, said again only when it changes
  MqttEventQueue m_waiting;
  std::map<unsigned int, std::size_t> m_discovered;  // modules the broker holds entities for
  std::set<unsigned int> m_alarmsChanged;
  std::map<std::string, MqttMessage> m_held;  // by topic: the newest replaces an older one
};

}  // namespace qmr4100::gateway
