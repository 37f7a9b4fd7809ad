// A host controller for tests: keeps everything devices send, publish and
// evaluate, and holds batch tasks until the test runs them.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "driver/VARNOK_QMR4100.h"
#include "host/SMDController.h"

struct Snapshot {
  int sp;
  std::vector<unsigned char> bytes;
  bool flag;
};

class CaptureController : public SMDController {
 public:
  int OnSend(SMDSPDevice& device, const unsigned char* data, unsigned int length) override;
  void OnSnapshot(SMDVDevice& device, int sp, const unsigned char* data, unsigned int length,
                  bool flag) override;
  void OnThreshold(SMDVDevice& device, const rule_value& value) override;
  bool OnBatch(SMDVDevice& device, const std::vector<rule_value>& values) override;
  void Post(std::function<void()> task) override;
  void InfoLog(const std::string& line) override;

  // Runs and releases the held batch tasks, oldest first.
  void RunTasks();

  std::vector<std::string> sent;  // command frames, as characters
  std::vector<Snapshot> snapshots;
  std::vector<rule_value> thresholds;
  std::vector<std::vector<rule_value>> batches;
  std::vector<std::function<void()>> tasks;
  std::vector<std::string> log;
};

// A driver owned by a shared pointer and attached to `controller`, set up as
// the host does: Init with data id and configuration, then InitSetting.
std::shared_ptr<VARNOK_QMR4100> make_device(const std::shared_ptr<CaptureController>& controller,
                                            unsigned int data_id = 1000,
                                            unsigned int address = 1);
