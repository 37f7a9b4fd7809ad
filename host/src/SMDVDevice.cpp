#include "host/SMDVDevice.h"

#include <fmt/format.h>

#include "host/SMDController.h"

SMDVDevice::SMDVDevice() = default;

SMDVDevice::~SMDVDevice() = default;

int SMDVDevice::DeviceIoControl(int, const void*, int, void*, int, int& returned) {
  returned = 0;
  return 0;
}

int SMDVDevice::Reset() { return 1; }

int SMDVDevice::InitV(SMDVDevice* parent, unsigned int data_id, const Json::Value&) {
  m_parent = parent;
  m_dataId = data_id;
  return 1;
}

int SMDVDevice::Init(std::weak_ptr<SMDController> controller, unsigned int data_id,
                     const Json::Value&) {
  m_controller = std::move(controller);
  m_dataId = data_id;
  return 1;
}

bool SMDVDevice::InitSetting(const Json::Value&) { return true; }

bool SMDVDevice::IsSupportDevice(const std::string& type) const { return type == m_deviceType; }

int SMDVDevice::SendSP(int sp, const unsigned char* data, unsigned int length, bool flag) {
  if (auto controller = m_controller.lock()) controller->OnSnapshot(*this, sp, data, length, flag);
  return 1;
}

int SMDVDevice::SendDelayData(int) { return 0; }

int SMDVDevice::SendDoData(int, char) { return 0; }

int SMDVDevice::ReadDi(int) { return 0; }

double SMDVDevice::ReadAi(int) { return 0.0; }

double SMDVDevice::Get_SP_Value(unsigned int, const std::string&) { return 0.0; }

int SMDVDevice::RefreshStatus() { return 1; }

int SMDVDevice::process(unsigned char*, unsigned int) { return 0; }

bool SMDVDevice::CheckThresholdBool(int level, const std::string& id, const std::string& code,
                                    const std::string& name, const std::string& desc,
                                    bool active, unsigned short seq) {
  const AlarmTexts* texts = m_reportedTexts.At(m_pending.size(), id, code, name, desc);
  m_pending.emplace_back(level, texts, active, seq);
  if (auto controller = m_controller.lock()) controller->OnThreshold(*this, m_pending.back());
  return true;
}

void SMDVDevice::CheckThresholdWork(std::function<void()> task) {
  if (auto controller = m_controller.lock()) {
    controller->Post(std::move(task));
  } else {
    task();
  }
}

bool SMDVDevice::DoBatchCheckThreshold(const std::vector<rule_value>& values) {
  auto controller = m_controller.lock();
  return controller ? controller->OnBatch(*this, values) : true;
}

void SMDVDevice::InfoLog(const char* format, unsigned int first, int second) {
  auto controller = m_controller.lock();
  if (!controller) return;
  std::string line;
  try {
    line = fmt::format(fmt::runtime(format), first, second);
  } catch (const fmt::format_error&) {
    line = format;  // keep the text even when its placeholders are malformed
  }
  controller->InfoLog(line);
}
