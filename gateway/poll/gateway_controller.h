// The gateway's host controller: routes what a device sends to its line, and
// turns what devices publish and evaluate into the record, the snapshot
// cache, the alarm engine and the state model.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cache/cache_store.h"
#include "cache/cache_writer.h"
#include "host/AlarmEngine.h"
#include "host/SMDController.h"
#include "model/state_model.h"
#include "outputs/console/console.h"
#include "outputs/record/record.h"
#include "poll/cycle_tally.h"

namespace qmr4100::gateway {

// Where one device's traffic goes; called on the io thread during device calls.
class DeviceLink {
 public:
  virtual ~DeviceLink() = default;
  virtual void Send(SMDSPDevice& device, const unsigned char* data, unsigned int length) = 0;
  virtual void Published(SMDVDevice& device) = 0;
};

class GatewayController : public SMDController {
 public:
  // Runs work of the worker thread where the state model is changed (the io
  // thread); by default straight away.
  using HandOff = std::function<void(std::function<void()>)>;

  // An empty `cache_dir` keeps no snapshot cache and no active alarm points.
  GatewayController(Record& record, Console& console, StateModel& model,
                    const std::string& cache_dir);

  // Every device is attached before it is first called; the table is fixed after.
  void Attach(const SMDVDevice& device, DeviceLink& link);
  void SetHandOff(HandOff hand_off) { m_handOff = std::move(hand_off); }
  // The host's log lines reach the console too, not only the record.
  void ShowLogLines(bool show) { m_showLogLines = show; }
  // Every alarm point's evaluation goes to the record, not only the batch.
  void RecordTrace(bool trace) { m_recordTrace = trace; }

  // Hands the device its cached block, if there is a usable one, and takes
  // over the alarm points the last run left active, with their since-times.
  void RestoreFromCache(SMDVDevice& device);
  // Returns once the cache files handed over so far are written.
  void FlushCache();
  // The block the device published last and the alarm points of its cycle,
  // which starts the count of the next cycle.
  const Block& LastBlock(const SMDVDevice& device) const;
  CyclePoints TakePoints(const SMDVDevice& device);
  // Points the device's last batch left active.
  std::vector<rule_value> ActiveAlarms(const SMDVDevice& device) const;

  int OnSend(SMDSPDevice& device, const unsigned char* data, unsigned int length) override;
  void OnSnapshot(SMDVDevice& device, int sp, const unsigned char* data, unsigned int length,
                  bool flag) override;
  void OnThreshold(SMDVDevice& device, const rule_value& value) override;
  bool OnBatch(SMDVDevice& device, const std::vector<rule_value>& values) override;
  void InfoLog(const std::string& line) override;

 private:
  struct Attached {
    DeviceLink* link;
    CycleTally tally;
    // Alarm points are told apart within one device only.
    std::unique_ptr<AlarmEngine> alarms;
  };

  Attached& Find(const SMDVDevice& device);
  const Attached& Find(const SMDVDevice& device) const;
  void RestoreSnapshot(SMDVDevice& device);
  void RestoreAlarms(SMDVDevice& device);
  void SaveAlarms(unsigned int data_id);
  bool SaveFile(unsigned int data_id, CacheWriter::Kind kind, const std::string& contents,
                std::string& problem);
  void SavingChanged(unsigned int data_id, CacheWriter::Kind kind, const std::string& problem);
  void CacheProblem(unsigned int data_id, const std::string& what, const std::string& problem);

  Record& m_record;
  Console& m_console;
  StateModel& m_model;
  std::unique_ptr<CacheStore> m_cache;
  std::unique_ptr<CacheWriter> m_writer;  // with the cache; goes before it
  std::map<const SMDVDevice*, Attached> m_devices;
  HandOff m_handOff;
  bool m_showLogLines = false;
  bool m_recordTrace = false;
};

}  // namespace qmr4100::gateway
