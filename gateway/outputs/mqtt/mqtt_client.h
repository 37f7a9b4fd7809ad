// One connection to an MQTT broker through libmosquitto, kept up by its own
// network thread: it connects, and after any loss or refusal tries again
// after 1 s, 2 s, 4 s ... up to 60 s until it is closed. Publish is safe from
// any thread; the handlers run on the network thread and must hand their work
// on quickly.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "outputs/mqtt/mqtt_messages.h"
#include "outputs/mqtt/mqtt_settings.h"

struct mosquitto;

namespace qmr4100::gateway {

struct MqttClientOptions {
  MqttBroker broker;
  std::string client_id;
  std::string user;      // empty: none
  std::string password;  // read from the password file; never shown
  std::string ca_file;   // empty with TLS: the system's CAs
  MqttMessage will;      // published by the broker if the connection dies
  std::size_t unacknowledged_limit = 100;  // when Full() begins
};

struct MqttClientHandlers {
  std::function<void()> connected;
  // Why the connection went, or why an attempt failed; retried after `retry`.
  std::function<void(const std::string& reason, std::chrono::seconds retry)> down;
  // Every message acknowledged after the client was Full().
  std::function<void()> drained;
};

class MqttClient {
 public:
  MqttClient(MqttClientOptions options, MqttClientHandlers handlers);
  ~MqttClient();
  MqttClient(const MqttClient&) = delete;
  MqttClient& operator=(const MqttClient&) = delete;

  void Start();
  // Connected and accepted by the broker.
  bool Up();
  // False when the message could not be handed to the library (no connection).
  bool Publish(const MqttMessage& message);
  // QoS 1 messages published and not yet acknowledged; the library keeps
  // each of them, whatever the broker does.
  std::size_t Unacknowledged();
  // The limit was reached and not every message has been acknowledged since.
  bool Full();
  // Publishes `last` and waits up to `wait` for the broker to take it, then
  // disconnects and ends the network thread.
  void Close(const MqttMessage& last, std::chrono::milliseconds wait);

 private:
  void Run();
  bool Connect(bool first);
  std::string LoopUntilDown();
  bool WaitBeforeRetry(std::chrono::seconds delay);

  MqttClientOptions m_options;
  MqttClientHandlers m_handlers;
  mosquitto* m_mosq = nullptr;
  std::thread m_thread;
  std::mutex m_mutex;
  std::condition_variable m_changed;
  bool m_closing = false;
  friend struct MqttClientCallbacks;

  bool m_up = false;        // CONNACK accepted and not lost since
  bool m_accepted = false;  // CONNACK accepted since the last attempt began
  bool m_closingWait = false;   // Close notes the acknowledged messages
  std::vector<int> m_acked;
  std::size_t m_unacknowledged = 0;
  bool m_full = false;
  std::string m_refusal;    // the broker's reason for refusing, or the library's last error
};

}  // namespace qmr4100::gateway
