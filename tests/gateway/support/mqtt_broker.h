// A real mosquitto broker for the MQTT tests, on a free loopback port with
// its own temporary configuration (optionally a password file and a TLS
// certificate signed by a CA made with openssl), stopped by its pid; and a
// subscriber that keeps every message it gets.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <sys/types.h>

#include "support.h"

struct mosquitto;
struct mosquitto_message;

namespace gwtest {

struct BrokerOptions {
  bool password = false;  // user "gateway" with password "right-password"
  bool tls = false;
};

class Broker {
 public:
  explicit Broker(BrokerOptions options = {}, bool start = true);
  ~Broker();
  Broker(const Broker&) = delete;
  Broker& operator=(const Broker&) = delete;

  void Start();  // returns once the port accepts connections
  void Stop();
  // SIGSTOP: the connections stay open, nothing is read or acknowledged.
  void Pause();
  void Resume();
  std::string Url() const;
  int Port() const { return m_port; }
  std::string File(const std::string& name) const { return m_dir.File(name); }

 private:
  void MakeCertificates();
  BrokerOptions m_options;
  TempDir m_dir;
  int m_port;
  pid_t m_pid = -1;
};

struct Received {
  std::string topic;
  std::string payload;
  bool retained;
};

// Subscribes to everything on the broker (TLS with `ca` when given).
class Subscriber {
 public:
  explicit Subscriber(const Broker& broker, const std::string& ca = "");
  ~Subscriber();
  Subscriber(const Subscriber&) = delete;
  Subscriber& operator=(const Subscriber&) = delete;

  // Waits (at most 20 s) until `done` holds for the messages so far.
  bool WaitFor(const std::function<bool(const std::vector<Received>&)>& done);
  // Waits for a message on `topic` with `payload` ("" for any); the payload found.
  std::string WaitForTopic(const std::string& topic, const std::string& payload = "");
  std::vector<Received> Messages();

 private:
  static void OnMessage(mosquitto*, void* self, const mosquitto_message* message);
  static void OnConnect(mosquitto*, void* self, int rc);
  mosquitto* m_mosq;
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::vector<Received> m_messages;
};

// The operator's lines of an MQTT output, kept for the test.
class SaidLines {
 public:
  void Add(const std::string& line);
  std::vector<std::string> Lines();
  // Lines containing `text`.
  std::size_t Count(const std::string& text);
  bool WaitFor(const std::string& text);

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::vector<std::string> m_lines;
};

}  // namespace gwtest
