#include "host/SMDController.h"

#include "host/Worker.h"

SMDController::SMDController() : m_worker(std::make_unique<Worker>()) {}

SMDController::~SMDController() = default;

int SMDController::OnSend(SMDSPDevice&, const unsigned char*, unsigned int length) {
  return static_cast<int>(length);
}

int SMDController::OnOpenPort(SMDSPDevice&) { return 1; }

int SMDController::OnClosePort(SMDSPDevice&) { return 1; }

void SMDController::OnSnapshot(SMDVDevice&, int, const unsigned char*, unsigned int, bool) {}

void SMDController::OnThreshold(SMDVDevice&, const rule_value&) {}

bool SMDController::OnBatch(SMDVDevice&, const std::vector<rule_value>&) { return true; }

void SMDController::Post(std::function<void()> task) { m_worker->Post(std::move(task)); }

void SMDController::InfoLog(const std::string&) {}

void SMDController::WaitIdle() { m_worker->WaitIdle(); }
