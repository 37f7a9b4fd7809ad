// A host controller for the polling-cycle fuzz target: keeps the commands
// and publications, counts alarm points, and holds batch tasks until run.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "host/SMDController.h"

struct Publication {
  int sp;
  std::vector<unsigned char> bytes;
  bool flag;
};

class WatchingController : public SMDController {
 public:
  int OnSend(SMDSPDevice& device, const unsigned char* data, unsigned int length) override;
  void OnSnapshot(SMDVDevice& device, int sp, const unsigned char* data, unsigned int length,
                  bool flag) override;
  void OnThreshold(SMDVDevice& device, const rule_value& value) override;
  bool OnBatch(SMDVDevice& device, const std::vector<rule_value>& values) override;
  void Post(std::function<void()> task) override;

  // Runs and releases the held batch tasks, oldest first.
  void RunTasks();

  std::vector<std::string> sent;
  std::vector<Publication> publications;
  std::size_t points = 0;
  std::vector<std::size_t> batch_sizes;

 private:
  std::vector<std::function<void()>> tasks_;
};
