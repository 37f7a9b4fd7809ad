#include "watching_controller.h"

#include <utility>

int WatchingController::OnSend(SMDSPDevice&, const unsigned char* data, unsigned int length) {
  sent.emplace_back(reinterpret_cast<const char*>(data), length);
  return static_cast<int>(length);
}

void WatchingController::OnSnapshot(SMDVDevice&, int sp, const unsigned char* data,
                                    unsigned int length, bool flag) {
  publications.push_back({sp, std::vector<unsigned char>(data, data + length), flag});
}

void WatchingController::OnThreshold(SMDVDevice&, const rule_value&) { ++points; }

bool WatchingController::OnBatch(SMDVDevice&, const std::vector<rule_value>& values) {
  batch_sizes.push_back(values.size());
  return true;
}

void WatchingController::Post(std::function<void()> task) { tasks_.push_back(std::move(task)); }

void WatchingController::RunTasks() {
  std::vector<std::function<void()>> held;
  held.swap(tasks_);
  for (auto& task : held) task();
}
