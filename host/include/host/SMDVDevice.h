#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <boost/date_time/posix_time/ptime.hpp>
#include <json/value.h>

#include "host/AlarmTexts.h"
#include "host/VDeviceInterface.h"
#include "host/rule_value.h"

class SMDController;

// A device of the monitoring host: publication, alarm evaluation, controller link.
class SMDVDevice : public VDeviceInterface, public std::enable_shared_from_this<SMDVDevice> {
 public:
  SMDVDevice();
  ~SMDVDevice() override;

  int DeviceIoControl(int code, const void* in, int in_size, void* out, int out_size,
                      int& returned) override;

  virtual int Reset();
  virtual int InitV(SMDVDevice* parent, unsigned int data_id, const Json::Value& config);
  virtual int Init(std::weak_ptr<SMDController> controller, unsigned int data_id,
                   const Json::Value& config);
  virtual bool InitSetting(const Json::Value& config);
  virtual bool IsSupportDevice(const std::string& type) const;
  virtual std::shared_ptr<SMDVDevice> GetChildVDevice(unsigned int) { return {}; }
  virtual std::vector<std::shared_ptr<SMDVDevice>> GetAllChildVDevices() { return {}; }
  virtual int SendSP(int sp, const unsigned char* data, unsigned int length, bool flag);
  virtual int SendDelayData(int delay);
  virtual int SendDoData(int channel, char value);
  virtual int ReadDi(int channel);
  virtual double ReadAi(int channel);
  virtual double Get_SP_Value(unsigned int index, const std::string& name);
  virtual int RefreshStatus();
  virtual int process(unsigned char* frame, unsigned int length);

  // Appends one evaluation to the pending list and shows it to the controller.
  // The texts are kept once per process; the evaluation points to them.
  bool CheckThresholdBool(int level, const std::string& id, const std::string& code,
                          const std::string& name, const std::string& desc, bool active,
                          unsigned short seq);
  // Hands a batch task to the controller's worker (runs it inline without a controller).
  void CheckThresholdWork(std::function<void()> task);
  // Runs the alarm engine over one batch of evaluations.
  bool DoBatchCheckThreshold(const std::vector<rule_value>& values);
  // Formats "{}" placeholders and forwards the line to the controller.
  void InfoLog(const char* format, unsigned int first, int second);

  unsigned char DataValid() const { return m_dataValid; }
  const boost::posix_time::ptime& LastUpdate() const { return m_lastUpdate; }
  const std::vector<rule_value>& PendingEvaluations() const { return m_pending; }
  std::shared_ptr<SMDController> Controller() const { return m_controller.lock(); }

 protected:
  unsigned char m_dataValid = 0;
  boost::posix_time::ptime m_lastUpdate;
  std::vector<rule_value> m_pending;
  std::weak_ptr<SMDController> m_controller;
  SMDVDevice* m_parent = nullptr;

 private:
  ReportedTexts m_reportedTexts;  // by position in the pending list
};
