// The gateway's host controller: routes what a device sends to its line, and
// turns what devices publish and evaluate into the record, the console, the
// snapshot cache and the alarm engine.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cache_store.h"
#include "cycle_tally.h"
#include "host/AlarmEngine.h"
#include "host/SMDController.h"
#include "record.h"

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
  // Prints a console line from the worker thread; by default straight away.
  using ConsoleSink = std::function<void(std::string)>;

  // An empty `cache_dir` keeps no snapshot cache.
  GatewayController(Record& record, const std::string& cache_dir);

  // Every device is attached before it is first called; the table is fixed after.
  void Attach(const SMDVDevice& device, DeviceLink& link);
  void SetWorkerConsole(ConsoleSink sink) { m_workerConsole = std::move(sink); }

  // Hands the device its cached block, if there is a usable one.
  void RestoreFromCache(SMDVDevice& device);
  // The readable summary of the device's last published cycle.
  std::string TakeCycleSummary(const SMDVDevice& device);
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
  void SaveToCache(const SMDVDevice& device, const unsigned char* data, unsigned int length);

  Record& m_record;
  std::unique_ptr<CacheStore> m_cache;
  std::map<const SMDVDevice*, Attached> m_devices;
  ConsoleSink m_workerConsole;
};

}  // namespace qmr4100::gateway
