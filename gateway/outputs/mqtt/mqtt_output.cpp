#include "outputs/mqtt/mqtt_output.h"

#include <utility>

#include <boost/asio/post.hpp>
#include <fmt/format.h>

#include "outputs/common/decoded_view.h"
#include "outputs/mqtt/mqtt_password.h"

namespace qmr4100::gateway {
namespace {

constexpr std::chrono::milliseconds kCloseWait{2000};

MqttMessage status_message(const std::string& prefix, const char* status) {
  return {gateway_status_topic(prefix), status};
}

MqttClientOptions client_options(const MqttSettings& settings, const SayLine& say) {
  MqttClientOptions options;
  options.broker = parse_mqtt_url(settings.url);
  options.client_id = settings.client_id.empty() ? default_client_id() : settings.client_id;
  options.user = settings.user;
  options.password = mqtt_password(settings, say);
  options.ca_file = settings.ca_file;
  options.will = status_message(settings.prefix, "offline");
  options.unacknowledged_limit = settings.unacknowledged_limit;
  return options;
}

}  // namespace

MqttOutput::MqttOutput(MqttSettings settings)
    : m_settings(std::move(settings)), m_waiting(m_settings.queue_limit) {}

void MqttOutput::Start(const OutputContext& context) {
  m_io = &context.io;
  m_model = &context.model;
  m_say = context.say;
  MqttClientHandlers handlers;
  handlers.connected = [this] { boost::asio::post(*m_io, [this] { Connected(); }); };
  handlers.down = [this](const std::string& reason, std::chrono::seconds retry) {
    boost::asio::post(*m_io, [this, reason, retry] { Down(reason, retry); });
  };
  handlers.drained = [this] { boost::asio::post(*m_io, [this] { Drained(); }); };
  m_client = std::make_unique<MqttClient>(client_options(m_settings, m_say), std::move(handlers));
  m_client->Start();
}

ViewWriter MqttOutput::KeptView() const { return decoded_view_text; }

MqttOutput::~MqttOutput() { Close(); }

void MqttOutput::Close() {
  if (!m_client) return;
  // A connection made while the run was ending has not been told what is current yet.
  if (!m_connected && m_client->Up()) Connected();
  // The gateway no longer watches the devices: their retained availability
  // must not stay "online" behind it. The status goes last, and its
  // acknowledgement, on the same connection, follows theirs.
  if (m_connected)
    m_model->ReadAll([this](const DeviceState& device) {
      MqttMessage offline = availability_message(m_settings.prefix, device);
      offline.payload = "offline";
      m_client->Publish(offline);
    });
  m_client->Close(status_message(m_settings.prefix, "offline"), kCloseWait);
  m_client.reset();
}

void MqttOutput::Connected() {
  m_connected = true;
  m_problem.clear();
  m_say(fmt::format("MQTT: connected to {}", m_settings.url));
  PublishEverything();
  SendWaiting();
  if (const std::uint64_t dropped = m_waiting.TakeDropped())
    m_say(fmt::format("MQTT: {} events dropped while disconnected (queue of {})", dropped,
                      m_settings.queue_limit));
}

void MqttOutput::Down(const std::string& reason, std::chrono::seconds retry) {
  const bool lost = m_connected;
  m_connected = false;
  if (!lost && reason == m_problem) return;
  m_problem = reason;
  m_say(fmt::format("MQTT: {} {}: {}; trying again in {} s (up to 60 s apart), polling goes on",
                    lost ? "connection lost to" : "cannot connect to", m_settings.url, reason,
                    retry.count()));
}

void MqttOutput::Drained() {
  m_holdingSaid = false;
  for (const auto& held : std::exchange(m_held, {})) Retained(held.second);
  SendWaiting();
}

bool MqttOutput::Accepting() {
  if (!m_connected) return false;
  if (!m_client->Full()) return true;
  if (!m_holdingSaid) {
    m_holdingSaid = true;
    m_say(fmt::format("MQTT: broker does not acknowledge ({} messages waiting); holding events",
                      m_client->Unacknowledged()));
  }
  return false;
}

void MqttOutput::PublishEverything() {
  Retained(status_message(m_settings.prefix, "online"));
  m_model->ReadAll([this](const DeviceState& device) {
    Retained(availability_message(m_settings.prefix, device));
    if (device.LastBlock()) Retained(state_message(m_settings.prefix, device));
    Retained(alarms_message(m_settings.prefix, device));
    if (m_settings.ha_discovery) PublishDiscovery(device, true);
  });
  m_alarmsChanged.clear();
}

void MqttOutput::PublishDiscovery(const DeviceState& device, bool again) {
  const std::size_t modules = discovered_modules(device);
  auto known = m_discovered.find(device.DataId());
  if (!again && known != m_discovered.end() && known->second == modules) return;
  const std::size_t before = known == m_discovered.end() ? 0 : known->second;
  for (const MqttMessage& message :
       discovery_messages(m_settings.prefix, m_settings.ha_prefix, device, modules))
    Retained(message);
  for (const MqttMessage& message :
       discovery_removals(m_settings.ha_prefix, device.DataId(), modules + 1, before))
    Retained(message);
  m_discovered[device.DataId()] = modules;
}

void MqttOutput::PublishAlarms() {
  for (unsigned int data_id : m_alarmsChanged)
    Retained(m_model->Read(data_id, [this](const DeviceState& device) {
      return alarms_message(m_settings.prefix, device);
    }));
  m_alarmsChanged.clear();
}

void MqttOutput::Retained(const MqttMessage& message) {
  // Retained messages are not kept while disconnected: on connecting, what
  // is current goes out.
  if (Accepting())
    m_client->Publish(message);
  else if (m_connected)
    m_held.insert_or_assign(message.topic, message);
}

void MqttOutput::Event(MqttMessage message) {
  if (Accepting() && m_client->Publish(message)) return;
  if (m_waiting.Push(std::move(message)) && m_waiting.Size() == m_settings.queue_limit &&
      !m_queueFullSaid) {
    m_queueFullSaid = true;
    m_say(fmt::format("MQTT: {} events waiting for the broker; dropping the oldest",
                      m_settings.queue_limit));
  }
}

void MqttOutput::SendWaiting() {
  m_queueFullSaid = false;
  for (MqttMessage& message : m_waiting.TakeAll()) Event(std::move(message));
}

void MqttOutput::Published(const DeviceState& device) {
  if (!m_connected) return;
  Retained(state_message(m_settings.prefix, device));
  if (m_settings.ha_discovery) PublishDiscovery(device, false);
}

void MqttOutput::HealthChanged(const DeviceState& device, const HealthChange& change) {
  Retained(availability_message(m_settings.prefix, device));
  Event(health_event_message(m_settings.prefix, device, change));
}

void MqttOutput::AlarmChanged(const DeviceState& device, const AlarmChange& change) {
  Event(alarm_event_message(m_settings.prefix, device, change));
  // One alarms message for the whole batch of transitions, once the model is unlocked.
  if (m_alarmsChanged.empty() && m_connected)
    boost::asio::post(*m_io, [this] { PublishAlarms(); });
  m_alarmsChanged.insert(device.DataId());
}

}  // namespace qmr4100::gateway
