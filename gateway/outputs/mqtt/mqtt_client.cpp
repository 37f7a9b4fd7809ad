#include "outputs/mqtt/mqtt_client.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <mosquitto.h>

namespace qmr4100::gateway {
namespace {

constexpr int kKeepAliveSeconds = 30;
constexpr int kLoopTimeoutMs = 1000;
constexpr std::chrono::seconds kFirstRetry{1};
constexpr std::chrono::seconds kLastRetry{60};

void init_library() {
  static std::once_flag once;
  std::call_once(once, [] { mosquitto_lib_init(); });
}

MqttClient& client_of(void* object) { return *static_cast<MqttClient*>(object); }

std::string error_text(int rc) {
  return rc == MOSQ_ERR_ERRNO ? std::strerror(errno) : mosquitto_strerror(rc);
}

void check(int rc, const char* what) {
  if (rc != MOSQ_ERR_SUCCESS) throw std::runtime_error(std::string("mqtt: ") + what + ": " +
                                                       error_text(rc));
}

}  // namespace

// The library's callbacks, on the network thread.
struct MqttClientCallbacks {
  static void Connected(mosquitto*, void* object, int rc) {
    MqttClient& client = client_of(object);
    {
      std::lock_guard<std::mutex> lock(client.m_mutex);
      if (rc != 0) {
        client.m_refusal = std::string("refused: ") + mosquitto_connack_string(rc);
        return;
      }
      client.m_up = true;
      client.m_accepted = true;
    }
    client.m_handlers.connected();
  }
  static void Disconnected(mosquitto*, void* object, int) {
    MqttClient& client = client_of(object);
    std::lock_guard<std::mutex> lock(client.m_mutex);
    client.m_up = false;
    client.m_changed.notify_all();
  }
  static void Published(mosquitto*, void* object, int mid) {
    MqttClient& client = client_of(object);
    bool drained = false;
    {
      std::lock_guard<std::mutex> lock(client.m_mutex);
      if (client.m_closingWait) client.m_acked.push_back(mid);
      if (client.m_unacknowledged > 0) --client.m_unacknowledged;
      drained = client.m_full && client.m_unacknowledged == 0;
      if (drained) client.m_full = false;
      client.m_changed.notify_all();
    }
    if (drained) client.m_handlers.drained();
  }
  static void Log(mosquitto*, void* object, int level, const char* text) {
    if (level != MOSQ_LOG_ERR) return;
    MqttClient& client = client_of(object);
    std::lock_guard<std::mutex> lock(client.m_mutex);
    if (client.m_refusal.empty()) client.m_refusal = text;
  }
};

MqttClient::MqttClient(MqttClientOptions options, MqttClientHandlers handlers)
    : m_options(std::move(options)), m_handlers(std::move(handlers)) {
  init_library();
  m_mosq = mosquitto_new(m_options.client_id.c_str(), true, this);
  if (!m_mosq) throw std::runtime_error("mqtt: cannot create a client");
  mosquitto_threaded_set(m_mosq, true);
  mosquitto_connect_callback_set(m_mosq, &MqttClientCallbacks::Connected);
  mosquitto_disconnect_callback_set(m_mosq, &MqttClientCallbacks::Disconnected);
  mosquitto_publish_callback_set(m_mosq, &MqttClientCallbacks::Published);
  mosquitto_log_callback_set(m_mosq, &MqttClientCallbacks::Log);
  const MqttMessage& will = m_options.will;
  check(mosquitto_will_set(m_mosq, will.topic.c_str(), static_cast<int>(will.payload.size()),
                           will.payload.data(), will.qos, will.retained),
        "last will");
  if (!m_options.user.empty())
    check(mosquitto_username_pw_set(m_mosq, m_options.user.c_str(),
                                    m_options.password.empty() ? nullptr
                                                               : m_options.password.c_str()),
          "user");
  if (m_options.broker.tls) {
    if (m_options.ca_file.empty())
      check(mosquitto_int_option(m_mosq, MOSQ_OPT_TLS_USE_OS_CERTS, 1), "system CAs");
    else
      check(mosquitto_tls_set(m_mosq, m_options.ca_file.c_str(), nullptr, nullptr, nullptr,
                              nullptr),
            m_options.ca_file.c_str());
  }
}

MqttClient::~MqttClient() {
  Close({}, std::chrono::milliseconds(0));
  mosquitto_destroy(m_mosq);
}

void MqttClient::Start() { m_thread = std::thread([this] { Run(); }); }

bool MqttClient::Up() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_up;
}

bool MqttClient::Publish(const MqttMessage& message) {
  const bool counted = message.qos > 0;
  // Counted first: the acknowledgement may come before mosquitto_publish returns.
  if (counted) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (++m_unacknowledged >= m_options.unacknowledged_limit) m_full = true;
  }
  const bool handed = mosquitto_publish(m_mosq, nullptr, message.topic.c_str(),
                                        static_cast<int>(message.payload.size()),
                                        message.payload.data(), message.qos,
                                        message.retained) == MOSQ_ERR_SUCCESS;
  if (counted && !handed) {
    std::lock_guard<std::mutex> lock(m_mutex);
    --m_unacknowledged;
  }
  return handed;
}

std::size_t MqttClient::Unacknowledged() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_unacknowledged;
}

bool MqttClient::Full() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_full;
}

void MqttClient::Close(const MqttMessage& last, std::chrono::milliseconds wait) {
  if (!m_thread.joinable()) return;
  std::unique_lock<std::mutex> lock(m_mutex);
  if (m_up && !last.topic.empty()) {
    // The acknowledgement may come before mosquitto_publish returns the message's id.
    m_closingWait = true;
    lock.unlock();
    int mid = 0;
    const bool sent = mosquitto_publish(m_mosq, &mid, last.topic.c_str(),
                                        static_cast<int>(last.payload.size()), last.payload.data(),
                                        last.qos, last.retained) == MOSQ_ERR_SUCCESS;
    lock.lock();
    const auto acked = [&] {
      return std::find(m_acked.begin(), m_acked.end(), mid) != m_acked.end() || !m_up;
    };
    if (sent) m_changed.wait_for(lock, wait, acked);
  }
  m_closing = true;
  lock.unlock();
  mosquitto_disconnect(m_mosq);
  m_changed.notify_all();
  m_thread.join();
}

void MqttClient::Run() {
  std::chrono::seconds retry = kFirstRetry;
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_refusal.clear();
    }
    const int rc = mosquitto_connect(m_mosq, m_options.broker.host.c_str(),
                                     m_options.broker.port, kKeepAliveSeconds);
    std::string reason = rc == MOSQ_ERR_SUCCESS ? LoopUntilDown() : error_text(rc);
    bool was_up = false;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      if (m_closing) return;
      if (!m_refusal.empty()) reason = m_refusal;
      std::swap(was_up, m_accepted);
    }
    // A connection that was accepted starts the backoff again.
    if (was_up) retry = kFirstRetry;
    m_handlers.down(reason, retry);
    if (!WaitBeforeRetry(retry)) return;
    retry = std::min(retry * 2, kLastRetry);
  }
}

std::string MqttClient::LoopUntilDown() {
  int rc;
  while ((rc = mosquitto_loop(m_mosq, kLoopTimeoutMs, 1)) == MOSQ_ERR_SUCCESS) {
  }
  return rc == MOSQ_ERR_CONN_LOST ? "connection lost" : error_text(rc);
}

bool MqttClient::WaitBeforeRetry(std::chrono::seconds delay) {
  std::unique_lock<std::mutex> lock(m_mutex);
  return !m_changed.wait_for(lock, delay, [this] { return m_closing; });
}

}  // namespace qmr4100::gateway
