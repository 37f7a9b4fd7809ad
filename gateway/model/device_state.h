// What the gateway knows of one power system: its health, its last published
// block, its active alarm points since when, its counters and the history of
// its values. Plain data with the rules that change it; the state model keeps
// one per device and tells the outputs what changed.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "config/config.h"
#include "driver/snapshot_layout.h"
#include "host/AlarmEngine.h"
#include "model/history.h"
#include "text/time_text.h"

namespace qmr4100::gateway {

enum class Health { Unknown, Online, Offline };
// "unknown", "online", "offline"
const char* health_name(Health health);

struct HealthChange {
  Health from;
  Health to;
  std::string reason;
  WallClock::time_point time;
};

struct ActiveAlarm {
  rule_value point;
  WallClock::time_point since;
};

struct AlarmChange {
  rule_value point;
  bool raised;
  WallClock::time_point time;
};

enum class CycleResult { Published, Abandoned, Failed };

// The alarm points one published cycle reported, and which of them were active.
struct CyclePoints {
  std::size_t reported = 0;
  std::vector<rule_value> active;
};

struct Counters {
  std::uint64_t published = 0;
  std::uint64_t abandoned = 0;  // given up by the gateway: no answer, port lost
  std::uint64_t failed = 0;     // ended by the driver or by an error reply
  std::uint64_t retries = 0;    // commands sent once more for a spoilt answer
  std::map<std::string, std::uint64_t> error_replies;  // by return code, "02"
};

class DeviceState;
// Writes the decoded view of a device; the model keeps what it writes, the
// outputs know its form.
using ViewWriter = std::string (*)(const DeviceState&);

class DeviceState {
 public:
  // `config.interval` unset is taken as 0 (back to back); `timeout` is the
  // seconds an answer may take.
  DeviceState(const DeviceConfig& config, const FieldLabels& labels, int offline_after,
              double timeout = 0);

  std::optional<HealthChange> Published(const Block& block, CyclePoints points,
                                        WallClock::time_point received,
                                        std::chrono::steady_clock::duration took = {});
  // A cycle that did not publish; `reason` says why, for the health change.
  std::optional<HealthChange> Missed(CycleResult result, const std::string& reason,
                                     WallClock::time_point time);
  void ErrorReply(std::uint8_t code);
  void Retried() { ++m_counters.retries; }
  std::optional<HealthChange> PortDown(const std::string& reason, WallClock::time_point time);
  AlarmChange Apply(const AlarmEngine::Transition& transition, WallClock::time_point time);
  // The points an earlier run left active, with the times they became active.
  void RestoreAlarms(std::vector<ActiveAlarm> alarms) { m_alarms = std::move(alarms); }
  // From now on the decoded view's text is written by `write` once per
  // publication, for outputs that publish it.
  void KeepViewText(ViewWriter write);

  unsigned int DataId() const { return m_dataId; }
  const std::string& Name() const { return m_name; }
  const std::string& Port() const { return m_port; }
  unsigned int Address() const { return m_address; }
  // Seconds from one cycle's start to the next; 0: back to back.
  double Interval() const { return m_interval; }
  // Seconds after the last publication by which the gateway has declared
  // the device offline if nothing more came: offline_after cycles, each at
  // least an interval apart and at least one timeout long, and the timeout
  // of the last one.
  double SilenceLimit() const {
    return m_offlineAfter * std::max(m_interval, m_timeout) + m_timeout;
  }
  const FieldLabels& Labels() const { return m_labels; }
  Health CurrentHealth() const { return m_health; }
  // Why the device has its health, e.g. "no answer within 2000 ms".
  const std::string& HealthReason() const { return m_healthReason; }
  // When the device took its health; nullopt while it is unknown.
  const std::optional<WallClock::time_point>& HealthSince() const { return m_healthSince; }
  // The last block is kept but not current: the device is not online.
  bool Stale() const { return m_block && m_health != Health::Online; }
  // The last published block; nullopt until the first publication.
  const std::optional<Block>& LastBlock() const { return m_block; }
  WallClock::time_point Received() const { return m_received; }
  // How long the last published cycle took, first command to publication.
  std::chrono::steady_clock::duration CycleTime() const { return m_cycleTime; }
  const CyclePoints& LastPoints() const { return m_points; }
  // The decoded view's text; empty unless kept.
  const std::string& ViewText() const { return m_viewText; }
  const Counters& Count() const { return m_counters; }
  const std::vector<ActiveAlarm>& Alarms() const { return m_alarms; }
  const History& Values() const { return m_history; }

 private:
  std::optional<HealthChange> Become(Health health, const std::string& reason,
                                     WallClock::time_point time);

  unsigned int m_dataId;
  std::string m_name;
  std::string m_port;
  unsigned int m_address;
  double m_interval;
  double m_timeout;
  FieldLabels m_labels;
  int m_offlineAfter;
  Health m_health = Health::Unknown;
  std::string m_healthReason = "not polled yet";
  std::optional<WallClock::time_point> m_healthSince;
  int m_missed = 0;  // cycles without a publication since the last one
  std::optional<Block> m_block;
  WallClock::time_point m_received{};
  std::chrono::steady_clock::duration m_cycleTime{};
  CyclePoints m_points;
  Counters m_counters;
  std::vector<ActiveAlarm> m_alarms;
  History m_history;
  ViewWriter m_writeView = nullptr;
  std::string m_viewText;
};

}  // namespace qmr4100::gateway
