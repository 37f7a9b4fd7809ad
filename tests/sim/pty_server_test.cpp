// The simulator served on a pseudo-terminal, seen from the gateway's end.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <memory>
#include <thread>

#include "capture_controller.h"
#include "qmr4100/sim/pty_server.h"
#include "scenarios.h"
#include "ydt1363/assembler.h"
#include "ydt1363/frame.h"

namespace {

using namespace std::chrono_literals;
using qmr4100::sim::Fault;
using qmr4100::sim::FaultPlan;
using qmr4100::sim::PtyServer;
using qmr4100::sim::ServeOptions;

constexpr auto kWait = 3s;

// The gateway's end of the line, opened raw as a serial layer would.
class GatewayEnd {
 public:
  explicit GatewayEnd(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY)) {
    if (fd_ < 0) return;
    termios tio{};
    tcgetattr(fd_, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd_, TCSANOW, &tio);
  }
  ~GatewayEnd() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool is_open() const { return fd_ >= 0; }

  void write(const std::string& bytes) {
    ASSERT_EQ(::write(fd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }

  // Feeds what arrives to `assembler` until `done` or the wait is over.
  template <typename Done>
  void read_until(ydt1363::FrameAssembler& assembler, Done done) {
    const auto deadline = std::chrono::steady_clock::now() + kWait;
    while (!done() && std::chrono::steady_clock::now() < deadline) {
      pollfd fd{fd_, POLLIN, 0};
      if (::poll(&fd, 1, 100) <= 0 || (fd.revents & POLLIN) == 0) continue;
      char buffer[512];
      const ssize_t n = ::read(fd_, buffer, sizeof buffer);
      if (n > 0) assembler.feed(std::string_view(buffer, static_cast<std::size_t>(n)));
    }
  }

 private:
  int fd_;
};

// Links of concurrent test runs (other build directories) must not meet.
std::string temp_link(const char* name) {
  return ::testing::TempDir() + "qmr4100_sim_" + std::to_string(::getpid()) + "_" + name;
}

std::string command(std::uint8_t cid2) {
  return ydt1363::encode(ydt1363::Frame{0x21, 1, 0x41, cid2, {}});
}

TEST(PtyServer, AnswersA0x42CommandWithAFrame) {
  PtyServer server(with_modules(2), {}, {});
  GatewayEnd gateway(server.path());
  ASSERT_TRUE(gateway.is_open()) << server.path();

  std::vector<std::string> frames;
  ydt1363::FrameAssembler assembler([&](std::string_view f) { frames.emplace_back(f); });
  gateway.write(command(0x42));
  gateway.read_until(assembler, [&] { return !frames.empty(); });

  ASSERT_EQ(frames.size(), 1u);
  const auto answer = ydt1363::decode(frames[0]);
  ASSERT_EQ(answer.error, ydt1363::DecodeError::None);
  EXPECT_EQ(answer.frame.cid2, 0x00);
  EXPECT_EQ(answer.frame.info.at(3), 2);
  EXPECT_EQ(server.cycle(), 1);
}

// A controller whose device writes its commands to the line.
class LineController : public CaptureController {
 public:
  explicit LineController(GatewayEnd& line) : line_(line) {}
  int OnSend(SMDSPDevice& device, const unsigned char* data, unsigned int length) override {
    line_.write(std::string(reinterpret_cast<const char*>(data), length));
    return CaptureController::OnSend(device, data, length);
  }

 private:
  GatewayEnd& line_;
};

TEST(PtyServer, ACycleThroughThePtyPublishesTheExpectedBlock) {
  const std::string link = temp_link("test_link");
  ServeOptions options;
  options.link_path = link;
  options.paced = true;
  PtyServer server(with_modules(5), FaultPlan{{{Fault::Noise, 0.5}, {Fault::Split, 0.5}}, 3},
                   options);
  ASSERT_EQ(server.path(), link);
  GatewayEnd gateway(server.path());
  ASSERT_TRUE(gateway.is_open());

  auto controller = std::make_shared<LineController>(gateway);
  auto device = make_device(controller);
  ydt1363::FrameAssembler assembler([&](std::string_view f) {
    std::string bytes(f);
    device->process(reinterpret_cast<unsigned char*>(bytes.data()),
                    static_cast<unsigned int>(bytes.size()));
  });
  ::testing::internal::CaptureStdout();
  device->RefreshStatus();
  gateway.read_until(assembler, [&] { return !controller->snapshots.empty(); });
  ::testing::internal::GetCapturedStdout();

  ASSERT_EQ(controller->snapshots.size(), 1u);
  qmr4100::Block published{};
  std::copy(controller->snapshots[0].bytes.begin(), controller->snapshots[0].bytes.end(),
            published.begin());
  EXPECT_EQ(qmr4100::sim::compare_block(published, server.expected_block(server.cycle())),
            std::nullopt);
}

std::string link_target(const std::string& link) {
  char target[PATH_MAX] = {};
  const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
  return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
}

TEST(PtyServer, PortBounceClosesThePtyAndRepointsTheLink) {
  const std::string link = temp_link("bounce_link");
  ServeOptions options;
  options.link_path = link;
  PtyServer server(with_modules(1), FaultPlan{{{Fault::PortBounce, 1.0}}, 1}, options);
  const std::string first = link_target(link);
  ASSERT_FALSE(first.empty());
  {
    GatewayEnd gateway(link);
    ASSERT_TRUE(gateway.is_open());
    gateway.write(command(0x42));
    const auto deadline = std::chrono::steady_clock::now() + kWait;
    while (link_target(link) == first && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(10ms);
    }
  }
  EXPECT_NE(link_target(link), first);
  EXPECT_EQ(server.fault_counts()[static_cast<std::size_t>(Fault::PortBounce)], 1u);
  GatewayEnd reopened(link);
  EXPECT_TRUE(reopened.is_open());
  server.stop();
}

TEST(PtyServer, RemovesItsLinkWhenDestroyed) {
  const std::string link = temp_link("removed_link");
  ServeOptions options;
  options.link_path = link;
  { PtyServer server(with_modules(1), {}, options); }
  EXPECT_TRUE(link_target(link).empty());
}

TEST(PtyServer, LeavesTheLinkToAServerThatTookItOver) {
  const std::string link = temp_link("taken_link");
  ServeOptions options;
  options.link_path = link;
  auto first = std::make_unique<PtyServer>(with_modules(1), FaultPlan{}, options);
  const std::string first_pty = link_target(link);
  PtyServer second(with_modules(1), {}, options);
  const std::string second_pty = link_target(link);
  ASSERT_NE(second_pty, first_pty);
  first.reset();
  EXPECT_EQ(link_target(link), second_pty);
}

}  // namespace
