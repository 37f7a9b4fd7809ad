// What the host sees of the plug-in: one exported entry point and the factory.
#include <memory>
#include <vector>

#include "driver/VARNOK_QMR4100.h"

SMDSPDevice* VARNOK_QMR4100Provider::create() const { return new VARNOK_QMR4100(); }

extern "C" __attribute__((visibility("default"))) std::vector<std::shared_ptr<Provider>>
get_providers() {
  std::vector<std::shared_ptr<Provider>> providers;
  std::shared_ptr<Provider> provider = std::make_shared<VARNOK_QMR4100Provider>();
  providers.push_back(provider);
  return providers;
}
