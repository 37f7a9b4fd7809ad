#include "qmr4100/sim/pty_server.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "qmr4100/sim/bus.h"
#include "serial_port.h"

namespace qmr4100::sim {
namespace {

constexpr std::size_t kReadSize = 4096;
// A character on the line: start bit, 8 data bits, stop bit.
constexpr long kBitsPerChar = 10;
// How long to wait for a full write buffer to drain before trying again.
constexpr std::chrono::milliseconds kRetryPause{100};
// How long to wait before opening a failed port again.
constexpr std::chrono::seconds kReopenPause{1};

// A pipe whose read end becomes readable once `notify` was called.
class WakePipe {
 public:
  WakePipe() {
    if (pipe2(fds_, O_CLOEXEC | O_NONBLOCK) != 0) {
      throw std::runtime_error(std::string("cannot create a pipe: ") + std::strerror(errno));
    }
  }
  ~WakePipe() {
    ::close(fds_[0]);
    ::close(fds_[1]);
  }
  WakePipe(const WakePipe&) = delete;
  WakePipe& operator=(const WakePipe&) = delete;

  void notify() {
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(fds_[1], &byte, 1);
  }
  int fd() const { return fds_[0]; }

 private:
  int fds_[2];
};

timespec to_timespec(std::chrono::microseconds d) {
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(d);
  return {static_cast<time_t>(seconds.count()),
          static_cast<long>(std::chrono::nanoseconds(d - seconds).count())};
}

}  // namespace

class PtyServer::Impl {
 public:
  Impl(std::vector<Scenario> systems, const FaultPlan& faults, ServeOptions options)
      : options_(std::move(options)), bus_(std::move(systems), faults), port_(open_port()) {
    bus_.set_delay(options_.delay);
    bus_.record_events(options_.verbose > 0);
    if (!options_.link_path.empty()) link_to(port_.path());
    path_ = options_.link_path.empty() ? port_.path() : options_.link_path;
    thread_ = std::thread([this] { serve(); });
  }

  ~Impl() {
    stop();
    if (!options_.link_path.empty()) remove_link(options_.link_path, linked_);
  }

  void stop() {
    stopping_ = true;
    wake_.notify();
    if (thread_.joinable()) thread_.join();
  }

  const std::string& path() const { return path_; }

  int cycle() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return bus_.system(0).cycle();
  }
  Block expected_block(int cycle) const { return bus_.system(0).expected_block(cycle); }
  FaultCounts fault_counts() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return bus_.fault_counts();
  }
  std::uint64_t answers() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return bus_.answers();
  }

 private:
  SerialPort open_port() const {
    return options_.device_path.empty() ? SerialPort::open_pty()
                                        : SerialPort::open_device(options_.device_path,
                                                                  options_.baud);
  }

  void serve() {
    while (!stopping_) {
      if (!port_.is_open()) {
        reopen();
        continue;
      }
      if (!wait_for(POLLIN, std::chrono::hours(1))) continue;
      std::string bytes = read_available();
      if (!bytes.empty()) answer(bytes);
    }
  }

  // Waits until the port is ready for `events`, the time is up or the server
  // stops; true when the port is ready.
  bool wait_for(short events, std::chrono::microseconds timeout) {
    pollfd fds[] = {{port_.fd(), events, 0}, {wake_.fd(), POLLIN, 0}};
    const timespec limit = to_timespec(timeout);
    if (ppoll(fds, 2, &limit, nullptr) < 0) return false;
    return !stopping_ && (fds[0].revents & (events | POLLERR | POLLHUP)) != 0;
  }

  void pause(std::chrono::microseconds duration) {
    pollfd fd{wake_.fd(), POLLIN, 0};
    const timespec limit = to_timespec(duration);
    ppoll(&fd, 1, &limit, nullptr);
  }

  std::string read_available() {
    char buffer[kReadSize];
    const ssize_t n = ::read(port_.fd(), buffer, sizeof buffer);
    if (n > 0) return std::string(buffer, static_cast<std::size_t>(n));
    if (n < 0 && errno != EAGAIN && errno != EINTR) {
      report("read from " + port_.path() + " failed: " + std::strerror(errno));
      port_.close();
    }
    return {};
  }

  void answer(const std::string& bytes) {
    std::vector<Simulator::Output> outputs;
    std::vector<Simulator::Event> events;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      outputs = bus_.receive(bytes);
      events = bus_.take_events();
    }
    for (const auto& event : events) {
      if (bus_.size() > 1) std::cout << "ADR " << int{event.address} << ": ";
      std::cout << format_event(event) << std::endl;
    }
    for (const auto& output : outputs) {
      if (stopping_) return;
      pause(output.delay);
      if (output.bounce_port) bounce();
      write_all(output.bytes);
    }
  }

  void write_all(const std::string& bytes) {
    for (std::size_t done = 0; done < bytes.size() && !stopping_;) {
      const ssize_t n = ::write(port_.fd(), bytes.data() + done, bytes.size() - done);
      if (n > 0) {
        done += static_cast<std::size_t>(n);
        pace(static_cast<std::size_t>(n));
      } else if (errno == EAGAIN || errno == EINTR) {
        wait_for(POLLOUT, kRetryPause);
      } else {
        report("write to " + port_.path() + " failed: " + std::strerror(errno));
        return;
      }
    }
  }

  // Holds the line for as long as the characters take at the baud rate.
  void pace(std::size_t chars) {
    if (!options_.paced) return;
    // 64 bits: a long answer at 32 bits overflows the microseconds before the division.
    pause(std::chrono::microseconds(static_cast<std::int64_t>(chars) * kBitsPerChar * 1000000 /
                                    options_.baud));
  }

  // The port closes and comes back: a new pty (the link follows it) or the
  // same device opened again.
  void bounce() {
    port_.close();
    reopen();
  }

  void reopen() {
    try {
      port_ = open_port();
      if (!options_.link_path.empty()) link_to(port_.path());
      if (options_.verbose > 0) std::cout << "port opened: " << port_.path() << std::endl;
    } catch (const std::runtime_error& e) {
      report(e.what());
      pause(kReopenPause);
    }
  }

  void link_to(const std::string& target) {
    point_link(options_.link_path, target);
    linked_ = target;
  }

  void report(const std::string& line) { std::cerr << "qmr4100-sim: " << line << std::endl; }

  const ServeOptions options_;
  mutable std::mutex mutex_;  // guards bus_ between the serving thread and callers
  Bus bus_;
  SerialPort port_;
  std::string path_;
  std::string linked_;  // what this server pointed the link to last
  WakePipe wake_;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

PtyServer::PtyServer(Scenario scenario, FaultPlan faults, ServeOptions options)
    : PtyServer(std::vector<Scenario>{std::move(scenario)}, std::move(faults),
                std::move(options)) {}

PtyServer::PtyServer(std::vector<Scenario> systems, FaultPlan faults, ServeOptions options)
    : impl_(std::make_unique<Impl>(std::move(systems), faults, std::move(options))) {}

PtyServer::~PtyServer() = default;

const std::string& PtyServer::path() const { return impl_->path(); }
void PtyServer::stop() { impl_->stop(); }
int PtyServer::cycle() const { return impl_->cycle(); }
Block PtyServer::expected_block(int cycle) const { return impl_->expected_block(cycle); }
FaultCounts PtyServer::fault_counts() const { return impl_->fault_counts(); }
std::uint64_t PtyServer::answers() const { return impl_->answers(); }

}  // namespace qmr4100::sim
