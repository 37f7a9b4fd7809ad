#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/rule_value.h"

class SMDVDevice;
class SMDSPDevice;
class Worker;

// The host's controller: what devices send, publish and evaluate reaches the
// host through it. The base class keeps nothing, runs batch tasks on its own
// worker thread and drops log lines; programs and tests override what they watch.
class SMDController {
 public:
  SMDController();
  virtual ~SMDController();
  SMDController(const SMDController&) = delete;
  SMDController& operator=(const SMDController&) = delete;

  virtual int OnSend(SMDSPDevice& device, const unsigned char* data, unsigned int length);
  virtual int OnOpenPort(SMDSPDevice& device);
  virtual int OnClosePort(SMDSPDevice& device);
  virtual void OnSnapshot(SMDVDevice& device, int sp, const unsigned char* data,
                          unsigned int length, bool flag);
  virtual void OnThreshold(SMDVDevice& device, const rule_value& value);
  virtual bool OnBatch(SMDVDevice& device, const std::vector<rule_value>& values);
  virtual void Post(std::function<void()> task);
  virtual void InfoLog(const std::string& line);

  // Waits until every task posted so far has run.
  void WaitIdle();

 private:
  std::unique_ptr<Worker> m_worker;
};
