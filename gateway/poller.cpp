#include "poller.h"

#include <algorithm>
#include <utility>

#include <boost/asio/post.hpp>
#include <fmt/format.h>

#include "frame_check.h"
#include "host/SMDSPDevice.h"

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
  if (!earliest) return;
  m_intervalTimer.expires_at(*earliest);
  m_intervalTimer.async_wait([this](const boost::system::error_code& error) {
    if (!error) ScheduleNext();
  });
}

bool Poller::WaitForQuietLine() {
  if (!m_settling) return false;
  const Clock::time_point quiet = m_lastInput + m_settings.timeout;
  if (Clock::now() >= quiet) {
    m_settling = false;
    return false;
  }
  m_intervalTimer.expires_at(quiet);
  m_intervalTimer.async_wait([this](const boost::system::error_code& error) {
    if (!error) ScheduleNext();
  });
  return true;
}

void Poller::StartCycle(std::size_t index) {
  m_current = index;
  m_next = (index + 1) % m_slots.size();
  Slot& slot = m_slots[index];
  m_cycleStart = Clock::now();
  slot.due = m_cycleStart + slot.interval;
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
  m_lastInput = Clock::now();
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
  const std::shared_ptr<SMDSPDevice> device = m_slots[*m_current].device;
  EndDisturbedCycle();
  m_observer.CycleAbandoned(*device, device->Step(),
                            fmt::format("no answer within {} ms", m_settings.timeout.count()));
}

void Poller::Send(SMDSPDevice&, const unsigned char* data, unsigned int length) {
  m_sentNow = true;
  m_lastCommand.assign(reinterpret_cast<const char*>(data), length);
  m_line.Write(data, length);
  ArmAnswerTimer();
}

void Poller::Published(SMDVDevice&) { m_publishedNow = true; }

void Poller::OnBytes(std::size_t count) {
  m_lastInput = Clock::now();
  if (!m_current) return;
  SMDSPDevice& device = *m_slots[*m_current].device;
  device.SetInputCount(device.InputCount() + static_cast<unsigned int>(count));
}

void Poller::OnFrame(std::string_view frame) {
  if (!m_current) return;  // a late answer of an abandoned cycle
  Slot& slot = m_slots[*m_current];
  const std::shared_ptr<SMDSPDevice> device = slot.device;
  const int step = device->Step();
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
      m_observer.FrameRefused(*device, step, problem->text);
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
