#include "mqtt_broker.h"

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <mosquitto.h>

namespace gwtest {
namespace {

constexpr auto kWait = std::chrono::seconds(20);

sockaddr_in loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

int free_port() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = loopback(0);
  socklen_t length = sizeof address;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    throw std::runtime_error("no free port");
  close(fd);
  return ntohs(address.sin_port);
}

bool accepts(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = loopback(port);
  const bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return connected;
}

void run(const std::string& command) {
  if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
}

}  // namespace

Broker::Broker(BrokerOptions options, bool start) : m_options(options), m_port(free_port()) {
  std::ofstream config(File("mosquitto.conf"));
  config << "listener " << m_port << " 127.0.0.1\n"
         << "user root\npersistence false\n"
         << "log_dest file " << File("mosquitto.log") << "\n";
  if (m_options.password) {
    // Hashed in place, so the password is on no command line.
    std::ofstream(File("passwords")) << "gateway:right-password\n";
    run("mosquitto_passwd -U " + File("passwords"));
    config << "allow_anonymous false\npassword_file " << File("passwords") << "\n";
  } else {
    config << "allow_anonymous true\n";
  }
  if (m_options.tls) {
    MakeCertificates();
    config << "cafile " << File("ca.crt") << "\ncertfile " << File("server.crt")
           << "\nkeyfile " << File("server.key") << "\n";
  }
  config.close();
  if (start) Start();
}

Broker::~Broker() { Stop(); }

// A test CA, a server certificate it signs for 127.0.0.1, and another CA
// that signed nothing here.
void Broker::MakeCertificates() {
  const std::string key = "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 "
                          "-nodes -days 2 -batch ";
  const std::string quiet = " 2>/dev/null";
  run(key + "-subj /CN=qmr4100-test-ca -keyout " + File("ca.key") + " -out " + File("ca.crt") +
      quiet);
  run(key + "-subj /CN=qmr4100-other-ca -keyout " + File("other.key") + " -out " +
      File("other-ca.crt") + quiet);
  run("openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -batch "
      "-subj /CN=127.0.0.1 -keyout " + File("server.key") + " -out " + File("server.csr") + quiet);
  std::ofstream(File("san.ext")) << "subjectAltName=IP:127.0.0.1,DNS:localhost\n";
  run("openssl x509 -req -days 2 -in " + File("server.csr") + " -CA " + File("ca.crt") +
      " -CAkey " + File("ca.key") + " -CAcreateserial -extfile " + File("san.ext") + " -out " +
      File("server.crt") + quiet);
}

void Broker::Start() {
  m_pid = fork();
  if (m_pid == 0) {
    execlp("mosquitto", "mosquitto", "-c", File("mosquitto.conf").c_str(),
           static_cast<char*>(nullptr));
    _exit(127);
  }
  const auto until = std::chrono::steady_clock::now() + kWait;
  while (!accepts(m_port)) {
    if (std::chrono::steady_clock::now() > until || waitpid(m_pid, nullptr, WNOHANG) != 0)
      throw std::runtime_error("mosquitto did not start; see " + File("mosquitto.log"));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

void Broker::Stop() {
  if (m_pid <= 0) return;
  Resume();  // a stopped process would not act on SIGTERM
  kill(m_pid, SIGTERM);
  waitpid(m_pid, nullptr, 0);
  m_pid = -1;
}

void Broker::Pause() {
  if (m_pid > 0) kill(m_pid, SIGSTOP);
}

void Broker::Resume() {
  if (m_pid > 0) kill(m_pid, SIGCONT);
}

std::string Broker::Url() const {
  return (m_options.tls ? "mqtts://127.0.0.1:" : "mqtt://127.0.0.1:") + std::to_string(m_port);
}

Subscriber::Subscriber(const Broker& broker, const std::string& ca) {
  mosquitto_lib_init();
  m_mosq = mosquitto_new(nullptr, true, this);
  mosquitto_message_callback_set(m_mosq, &Subscriber::OnMessage);
  mosquitto_connect_callback_set(m_mosq, &Subscriber::OnConnect);
  if (!ca.empty()) mosquitto_tls_set(m_mosq, ca.c_str(), nullptr, nullptr, nullptr, nullptr);
  mosquitto_username_pw_set(m_mosq, "gateway", "right-password");
  if (mosquitto_connect(m_mosq, "127.0.0.1", broker.Port(), 30) != MOSQ_ERR_SUCCESS)
    throw std::runtime_error("subscriber cannot connect");
  mosquitto_loop_start(m_mosq);
}

Subscriber::~Subscriber() {
  mosquitto_disconnect(m_mosq);
  mosquitto_loop_stop(m_mosq, true);
  mosquitto_destroy(m_mosq);
}

void Subscriber::OnConnect(mosquitto* mosq, void*, int rc) {
  if (rc == 0) mosquitto_subscribe(mosq, nullptr, "#", 1);
}

void Subscriber::OnMessage(mosquitto*, void* self, const mosquitto_message* message) {
  auto& subscriber = *static_cast<Subscriber*>(self);
  std::lock_guard<std::mutex> lock(subscriber.m_mutex);
  subscriber.m_messages.push_back(
      {message->topic,
       std::string(static_cast<const char*>(message->payload),
                   static_cast<std::size_t>(message->payloadlen)),
       message->retain});
  subscriber.m_changed.notify_all();
}

bool Subscriber::WaitFor(const std::function<bool(const std::vector<Received>&)>& done) {
  std::unique_lock<std::mutex> lock(m_mutex);
  return m_changed.wait_for(lock, kWait, [&] { return done(m_messages); });
}

std::string Subscriber::WaitForTopic(const std::string& topic, const std::string& payload) {
  std::string found;
  WaitFor([&](const std::vector<Received>& messages) {
    for (const Received& message : messages)
      if (message.topic == topic && (payload.empty() || message.payload == payload)) {
        found = message.payload;
        return true;
      }
    return false;
  });
  return found;
}

std::vector<Received> Subscriber::Messages() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_messages;
}

void SaidLines::Add(const std::string& line) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_lines.push_back(line);
  m_changed.notify_all();
}

std::vector<std::string> SaidLines::Lines() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_lines;
}

std::size_t SaidLines::Count(const std::string& text) {
  std::lock_guard<std::mutex> lock(m_mutex);
  std::size_t count = 0;
  for (const std::string& line : m_lines) count += line.find(text) != std::string::npos;
  return count;
}

bool SaidLines::WaitFor(const std::string& text) {
  std::unique_lock<std::mutex> lock(m_mutex);
  return m_changed.wait_for(lock, kWait, [&] {
    for (const std::string& line : m_lines)
      if (line.find(text) != std::string::npos) return true;
    return false;
  });
}

}  // namespace gwtest
