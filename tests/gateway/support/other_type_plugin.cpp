// A plug-in whose factory makes devices of another type than the gateway drives.
#include <memory>
#include <stdexcept>
#include <vector>

#include "host/Provider.h"
#include "host/SMDSPDevice.h"

namespace {

class OtherDevice : public SMDSPDevice {
 public:
  OtherDevice() { m_deviceType = "other_power_system"; }
  double Get_Value(unsigned int, const std::string&) const override {
    throw std::out_of_range("no values");
  }
  int LoadFromCache(const std::string&) override { return 0; }
  int LoadFromCache(const unsigned char*, int) override { return 0; }
  int RoundDone() override { return 1; }
};

class OtherProvider : public SMDSPDeviceProvider {
 public:
  SMDSPDevice* create() const override { return new OtherDevice(); }
};

}  // namespace

extern "C" __attribute__((visibility("default"))) std::vector<std::shared_ptr<Provider>>
get_providers() {
  return {std::make_shared<OtherProvider>()};
}
