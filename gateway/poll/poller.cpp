#include "poll/poller.h"

#include <algorithm>
#include <utility>

#include <boost/asio/post.hpp>
#include <fmt/format.h>

#include "host/SMDSPDevice.h"
#include "poll/frame_check.h"

namespace qmr4100::gateway {

namespace asio = boost::asio;

Poller::Poller(asio::io_context& io, const std::string& port, unsigned int baud,
               PollSettings settings, PollObserver& observer)
    : m_io(io),
      m_settings(settings),
      m_observer(observer),
      m_line(io, port, baud,
             {[this](std::size_t count) { OnBytes(count); },
              [this](std::string_view frame) { OnFrame(frame); },
              [this](const std::string& error, bool was_open) { OnLost(error, was_open); },
              [this] { OnRestored(); }}),
      m_answerTimer(io),
      m_intervalTimer(io) {}

void Poller::AddDevice(std::shared_ptr<SMDSPDevice> device,
                       std::optional<std::chrono::milliseconds> interval) {
  m_slots.push_back({std::move(device), interval.value_or(m_settings.interval)});
}

void Poller::Start() {
  m_stopped = false;
  m_line.Open();
  ScheduleNext();
}

void Poller::Stop() {
  m_stopped = true;
  m_current.reset();
  ++m_generation;
  m_answerTimer.cancel();
  m_intervalTimer.cancel();
  m_line.Close();
}

bool Poller::Done(const Slot& slot) const {
  return m_settings.cycles > 0 && slot.published >= m_settings.cycles;
}

bool Poller::Finished() const {
  return std::all_of(m_slots.begin(), m_slots.end(),
                     [this](const Slot& slot) { return Done(slot); });
}

void Poller::SetOffline(unsigned int data_id, bool offline) {
  for (Slot& slot : m_slots) {
    if (slot.device->DataId() != data_id || slot.offline == offline) continue;
    slot.offline = offline;
    slot.backoff = offline ? 1 : 0;
    // The cycle that changed the health set the next one's time before it knew.
    slot.due = offline ? std::max(slot.due, slot.started + Period(slot))
                       : slot.started + slot.interval;
  }
}

// From one cycle of the device to its next: its interval, or while it is
// offline its interval doubled once per cycle; even a device polled back to
// back then waits its answer timeout, doubled.
std::chrono::milliseconds Poller::Period(const Slot& slot) const {
  if (!slot.offline) return slot.interval;
  std::chrono::milliseconds period = std::max(slot.interval, m_settings.timeout);
  for (int k = 0; k < slot.backoff && period < kLongestBackoff; ++k) period *= 2;
  return std::max(std::min(period, kLongestBackoff), slot.interval);
}

// Starts the next device in turn that is due; otherwise waits for the earliest.
void Poller::ScheduleNext() {
  if (m_stopped || m_current || !m_line.IsOpen() || WaitForQuietLine()) return;
  const Clock::time_point now = Clock::now();
  std::optional<Clock::time_point> earliest;
  for (std::size_t k = 0; k < m_slots.size(); ++k) {
    const std::size_t index = (m_next + k) % m_slots.size();
    const Slot& slot = m_slots[index];
    if (Done(slot)) continue;
    if (slot.due <= now) {
      StartCycle(index);
      return;
    }
    earliest = std::min(slot.due, earliest.value_or(slot.due));
  }
  if (earliest) WakeAt(*earliest);
}

void Poller::WakeAt(Clock::time_point time) {
  m_intervalTimer.expires_at(time);
  m_intervalTimer.async_wait([this](const boost::system::error_code& error) {
    if (!error) ScheduleNext();
  });
}

// A line that never goes quiet (noise, another master) must not keep its
// devices online: a cycle due meanwhile counts as missed once it has waited
// one answer timeout.
bool Poller::WaitForQuietLine() {
  if (!m_settling) return false;
  const Clock::time_point now = Clock::now();
  const Clock::time_point quiet = m_lastInput + m_settings.timeout;
  if (now >= quiet) {
    m_settling = false;
    return false;
  }
  MissWhileNoisy(now);
  if (m_stopped) return true;
  Clock::time_point wake = quiet;
  for (const Slot& slot : m_slots)
    if (!Done(slot)) wake = std::min(wake, MissedAt(slot));
  WakeAt(wake);
  return true;
}

Poller::Clock::time_point Poller::MissedAt(const Slot& slot) const {
  return std::max(slot.due, m_settleStart) + m_settings.timeout;
}

void Poller::MissWhileNoisy(Clock::time_point now) {
  const std::string reason = fmt::format("line never quiet for {} ms", m_settings.timeout.count());
  for (Slot& slot : m_slots) {
    if (Done(slot) || MissedAt(slot) > now) continue;
    slot.due = now + Period(slot);  // no command went out: no reason to back off further
    const std::shared_ptr<SMDSPDevice> device = slot.device;
    m_observer.CycleAbandoned(*device, 0, reason);
    if (m_stopped) return;
  }
}

void Poller::StartCycle(std::size_t index) {
  m_current = index;
  m_next = (index + 1) % m_slots.size();
  Slot& slot = m_slots[index];
  m_cycleStart = Clock::now();
  slot.started = m_cycleStart;
  if (slot.offline && Period(slot) < kLongestBackoff) ++slot.backoff;
  slot.due = m_cycleStart + Period(slot);
  ArmAnswerTimer();
  slot.device->RefreshStatus();
}

void Poller::EndCycle() {
  m_current.reset();
  ++m_generation;
  m_answerTimer.cancel();
  // Not from inside the device call that ended the cycle.
  asio::post(m_io, [this] { ScheduleNext(); });
}

void Poller::EndDisturbedCycle() {
  m_settling = true;
  m_lastInput = m_settleStart = Clock::now();
  EndCycle();
}

void Poller::ArmAnswerTimer() {
  const std::uint64_t generation = ++m_generation;
  m_answerTimer.expires_after(m_settings.timeout);
  m_answerTimer.async_wait([this, generation](const boost::system::error_code& error) {
    if (!error) OnAnswerTimeout(generation);
  });
}

void Poller::OnAnswerTimeout(std::uint64_t generation) {
  if (generation != m_generation || !m_current) return;
  Slot& slot = m_slots[*m_current];
  const std::shared_ptr<SMDSPDevice> device = slot.device;
  if (m_inputSinceSend > 0) {
    EndDisturbedCycle();
  } else {
    // Nothing on the line to settle, so the others go on at once; a late
    // answer of this device is still kept from its own next cycle.
    slot.due = std::max(slot.due, Clock::now() + m_settings.timeout);
    EndCycle();
  }
  const std::string answer =
      fmt::format("no answer from ADR {} on {}", unsigned{device->Address()}, m_line.Path());
  const bool hint = !slot.heard && !slot.hinted;
  slot.hinted = slot.hinted || hint;
  m_observer.CycleAbandoned(*device, device->Step(),
                            fmt::format("{} within {} ms", answer, m_settings.timeout.count()));
  if (hint) m_observer.NeverAnswered(*device, answer + ": check the address, baud rate and wiring");
}

void Poller::Send(SMDSPDevice&, const unsigned char* data, unsigned int length) {
  m_sentNow = true;
  m_retried = false;
  m_lastCommand.assign(reinterpret_cast<const char*>(data), length);
  m_inputSinceSend = 0;
  m_line.Write(data, length);
  ArmAnswerTimer();
}

// The driver never repeats a command: a spoilt answer would cost the cycle.
void Poller::Resend() {
  m_retried = true;
  m_inputSinceSend = 0;
  m_line.Write(reinterpret_cast<const unsigned char*>(m_lastCommand.data()), m_lastCommand.size());
  ArmAnswerTimer();
}

void Poller::Published(SMDVDevice&) { m_publishedNow = true; }

void Poller::OnBytes(std::size_t count) {
  m_lastInput = Clock::now();
  m_inputSinceSend += count;
  if (!m_current) return;
  SMDSPDevice& device = *m_slots[*m_current].device;
  device.SetInputCount(device.InputCount() + static_cast<unsigned int>(count));
}

void Poller::OnFrame(std::string_view frame) {
  if (!m_current) return;  // a late answer of an abandoned cycle
  Slot& slot = m_slots[*m_current];
  const std::shared_ptr<SMDSPDevice> device = slot.device;
  const int step = device->Step();
  if (frame == m_lastCommand) {
    m_inputSinceSend -= std::min(m_inputSinceSend, frame.size());
  } else if (!slot.heard) {
    slot.heard = from_polled_device(frame_problem(frame, device->Address()));
  }
  std::string bytes(frame);
  m_sentNow = false;
  m_publishedNow = false;
  device->process(reinterpret_cast<unsigned char*>(bytes.data()),
                  static_cast<unsigned int>(bytes.size()));
  if (m_publishedNow) {
    ++slot.published;
    EndCycle();
    m_observer.CyclePublished(*device, Clock::now() - m_cycleStart);
  } else if (device->Step() == 0) {
    EndDisturbedCycle();
    m_observer.CycleFailed(*device, step, "ended by the driver", std::nullopt);
  } else if (!m_sentNow && frame != m_lastCommand) {
    std::optional<FrameProblem> problem = frame_problem(frame, device->Address());
    if (!problem) return;
    if (!problem->return_code) {
      const bool retry = problem->spoilt_answer && !m_retried;
      if (retry) Resend();
      m_observer.FrameRefused(*device, step, problem->text, retry);
      return;
    }
    // A refused command is not answered later: the cycle ends here, not at the timeout.
    EndDisturbedCycle();
    m_observer.CycleFailed(*device, step, problem->text, problem->return_code);
  }
}

std::vector<unsigned int> Poller::DataIds() const {
  std::vector<unsigned int> data_ids;
  for (const Slot& slot : m_slots) data_ids.push_back(slot.device->DataId());
  return data_ids;
}

void Poller::OnLost(const std::string& error, bool was_open) {
  m_observer.PortLost(m_line.Path(), DataIds(), error, was_open);
  if (!m_current) return;
  const std::shared_ptr<SMDSPDevice> device = m_slots[*m_current].device;
  EndCycle();
  m_observer.CycleAbandoned(*device, device->Step(), "port lost");
}

void Poller::OnRestored() {
  m_observer.PortRestored(m_line.Path());
  ScheduleNext();
}

}  // namespace qmr4100::gateway
