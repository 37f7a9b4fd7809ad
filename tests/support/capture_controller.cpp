#include "capture_controller.h"

#include <utility>

int CaptureController::OnSend(SMDSPDevice&, const unsigned char* data, unsigned int length) {
  sent.emplace_back(reinterpret_cast<const char*>(data), length);
  return static_cast<int>(length);
}

void CaptureController::OnSnapshot(SMDVDevice&, int sp, const unsigned char* data,
                                   unsigned int length, bool flag) {
  snapshots.push_back({sp, std::vector<unsigned char>(data, data + length), flag});
}

void CaptureController::OnThreshold(SMDVDevice&, const rule_value& value) {
  thresholds.push_back(value);
}

bool CaptureController::OnBatch(SMDVDevice&, const std::vector<rule_value>& values) {
  batches.push_back(values);
  return true;
}

void CaptureController::Post(std::function<void()> task) { tasks.push_back(std::move(task)); }

void CaptureController::InfoLog(const std::string& line) { log.push_back(line); }

void CaptureController::RunTasks() {
  std::vector<std::function<void()>> held;
  held.swap(tasks);
  for (auto& task : held) task();
}

std::shared_ptr<VARNOK_QMR4100> make_device(const std::shared_ptr<CaptureController>& controller,
                                            unsigned int data_id, unsigned int address) {
  auto device = std::make_shared<VARNOK_QMR4100>();
  Json::Value config(Json::objectValue);
  config["address"] = address;
  device->Init(controller, data_id, config);
  device->InitSetting(config);
  return device;
}
