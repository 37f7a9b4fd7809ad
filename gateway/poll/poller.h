// Polls the devices of one serial line in turn: one cycle at a time on the
// line, each device at most once per interval, an answer that does not come
// in time abandons the cycle so that a silent device never stalls the others.
// After a cycle disturbed by what came in, the line must stay quiet for one
// answer timeout before the next cycle, so that late answers are not taken
// for answers to the new commands; cycles that fall due meanwhile are missed.
// A spoilt answer is asked for once more; an offline device is polled at a
// backed-off interval so that it does not slow the others on its line.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>

#include "poll/gateway_controller.h"
#include "poll/serial_line.h"

class SMDSPDevice;

namespace qmr4100::gateway {

struct PollSettings {
  std::chrono::milliseconds interval{5000};  // from one cycle's start to the next of a device
  std::chrono::milliseconds timeout{2000};   // for each answer
  int cycles = 0;                            // publications per device to stop after; 0: no end
};

// What the poller tells about cycles and the line; called on the io thread.
class PollObserver {
 public:
  virtual ~PollObserver() = default;
  // `took`: from the cycle's first command to its publication.
  virtual void CyclePublished(SMDSPDevice& device, std::chrono::steady_clock::duration took) = 0;
  // The driver ended the cycle itself at `step`, or the device refused a
  // command with an error reply; `reason` says which.
  virtual void CycleFailed(SMDSPDevice& device, int step, const std::string& reason,
                           std::optional<std::uint8_t> return_code) = 0;
  virtual void CycleAbandoned(SMDSPDevice& device, int step, const std::string& reason) = 0;
  // A frame that changed nothing in the device, and why; `retried`: the
  // command went out once more for it.
  virtual void FrameRefused(SMDSPDevice& device, int step, const std::string& problem,
                            bool retried) = 0;
  // The first time a device that never answered missed an answer: what to check.
  virtual void NeverAnswered(SMDSPDevice& device, const std::string& hint) = 0;
  // `data_ids` are the devices of the line; `was_open` is false for a port
  // that has not opened since the start.
  virtual void PortLost(const std::string& port, const std::vector<unsigned int>& data_ids,
                        const std::string& error, bool was_open) = 0;
  virtual void PortRestored(const std::string& port) = 0;
};

class Poller : public DeviceLink {
 public:
  Poller(boost::asio::io_context& io, const std::string& port, unsigned int baud,
         PollSettings settings, PollObserver& observer);
  Poller(const Poller&) = delete;
  Poller& operator=(const Poller&) = delete;

  // `interval` replaces the settings' interval for this device.
  void AddDevice(std::shared_ptr<SMDSPDevice> device,
                 std::optional<std::chrono::milliseconds> interval = std::nullopt);
  void Start();
  void Stop();
  // Every device has published the cycles asked for.
  bool Finished() const;
  // Whether the device is offline, as the gateway's health model has it: an
  // offline device is polled at its interval doubled per cycle up to
  // kLongestBackoff, and at its own interval again from its first publication.
  void SetOffline(unsigned int data_id, bool offline);

  static constexpr std::chrono::milliseconds kLongestBackoff{60000};

  void Send(SMDSPDevice& device, const unsigned char* data, unsigned int length) override;
  void Published(SMDVDevice& device) override;

 private:
  using Clock = std::chrono::steady_clock;
  struct Slot {
    std::shared_ptr<SMDSPDevice> device;
    std::chrono::milliseconds interval;
    Clock::time_point due{};
    Clock::time_point started{};  // of the last cycle
    int published = 0;
    int backoff = 0;       // doublings of the interval while offline
    bool offline = false;
    bool heard = false;    // answered at least once
    bool hinted = false;   // told what to check when it never answered
  };

  bool Done(const Slot& slot) const;
  std::vector<unsigned int> DataIds() const;
  std::chrono::milliseconds Period(const Slot& slot) const;
  void ScheduleNext();
  void WakeAt(Clock::time_point time);
  void StartCycle(std::size_t index);
  void EndCycle();
  void EndDisturbedCycle();
  bool WaitForQuietLine();
  void MissWhileNoisy(Clock::time_point now);
  Clock::time_point MissedAt(const Slot& slot) const;
  void Resend();
  void ArmAnswerTimer();
  void OnAnswerTimeout(std::uint64_t generation);
  void OnBytes(std::size_t count);
  void OnFrame(std::string_view frame);
  void OnLost(const std::string& error, bool was_open);
  void OnRestored();

  boost::asio::io_context& m_io;
  PollSettings m_settings;
  PollObserver& m_observer;
  SerialLine m_line;
  boost::asio::steady_timer m_answerTimer;
  boost::asio::steady_timer m_intervalTimer;
  std::vector<Slot> m_slots;
  std::optional<std::size_t> m_current;
  std::size_t m_next = 0;
  std::uint64_t m_generation = 0;  // tells a stale answer timer from the armed one
  std::string m_lastCommand;       // a half-duplex line echoes it back
  std::size_t m_inputSinceSend = 0;  // bytes since the last command, not counting its echo
  Clock::time_point m_lastInput{};
  Clock::time_point m_cycleStart{};
  Clock::time_point m_settleStart{};
  bool m_settling = false;
  bool m_retried = false;  // the last command went out a second time
  bool m_sentNow = false;
  bool m_publishedNow = false;
  bool m_stopped = true;
};

}  // namespace qmr4100::gateway
