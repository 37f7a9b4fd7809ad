// The smallest device the host runtime can drive: it records what the
// protocol layer hands back instead of decoding anything itself.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "host/PMBusProtocol.h"

class ProbeDevice : public PMBusProtocol {
 public:
  static constexpr int kPayloadResult = 11;
  static constexpr int kErrorResult = 22;

  double Get_Value(unsigned int, const std::string&) const override {
    throw std::out_of_range("probe");
  }
  int LoadFromCache(const std::string&) override { return 0; }
  int LoadFromCache(const unsigned char*, int) override { return 0; }
  int RoundDone() override { return 1; }
  int process_payload() override {
    payloads.push_back(*pPMBus);
    return kPayloadResult;
  }
  int process_error() override {
    ++errors;
    return kErrorResult;
  }

  std::vector<PMBusFrame> payloads;
  int errors = 0;
};
