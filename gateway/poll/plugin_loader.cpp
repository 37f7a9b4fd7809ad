#include "poll/plugin_loader.h"

#include <dlfcn.h>

#include <filesystem>
#include <vector>

#include "host/Provider.h"
#include "host/SMDSPDevice.h"

namespace qmr4100::gateway {
namespace {

// The entry point has C linkage but hands back a C++ vector.
using GetProviders = std::vector<std::shared_ptr<Provider>> (*)();

std::string last_dl_error() {
  const char* error = dlerror();
  return error ? error : "unknown error";
}

}  // namespace

Plugin::Plugin(std::string path, void* handle) : m_path(std::move(path)), m_handle(handle) {}

Plugin::~Plugin() {
  // The provider's code lives in the library: release it before closing.
  m_provider.reset();
  dlclose(m_handle);
}

std::shared_ptr<Plugin> Plugin::Load(const std::string& path) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) throw PluginError(path + ": cannot load the plug-in: " + last_dl_error());
  std::shared_ptr<Plugin> plugin(new Plugin(path, handle));
  void* symbol = dlsym(handle, "get_providers");
  if (symbol == nullptr) throw PluginError(path + ": the plug-in has no entry point get_providers");
  std::vector<std::shared_ptr<Provider>> providers = reinterpret_cast<GetProviders>(symbol)();
  if (providers.empty() || !providers.front())
    throw PluginError(path + ": get_providers returned no provider");
  plugin->m_provider = providers.front();
  return plugin;
}

std::shared_ptr<SMDSPDevice> Plugin::CreateDevice(const std::shared_ptr<SMDController>& controller,
                                                  unsigned int data_id, const Json::Value& config) {
  // Type information does not cross the library boundary (the plug-in hides
  // its symbols); the factory of a device plug-in is an SMDSPDeviceProvider.
  const auto* provider = static_cast<const SMDSPDeviceProvider*>(m_provider.get());
  SMDSPDevice* created = provider->create();
  if (created == nullptr) throw PluginError(m_path + ": create() returned no device");
  std::shared_ptr<Plugin> library = shared_from_this();
  std::shared_ptr<SMDSPDevice> device(created, [library](SMDSPDevice* doomed) { delete doomed; });
  if (device->DeviceType() != kDeviceType)
    throw PluginError(m_path + ": the plug-in makes devices of type \"" + device->DeviceType() +
                      "\", not \"" + kDeviceType + "\"");
  if (device->Init(controller, data_id, config) != 1)
    throw PluginError(m_path + ": device " + std::to_string(data_id) +
                      " refused its configuration");
  device->InitSetting(config);
  return device;
}

std::string default_plugin_path() {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path folder = fs::read_symlink("/proc/self/exe", error).parent_path();
  const fs::path installed = (folder / QMR4100_INSTALLED_PLUGIN).lexically_normal();
  for (const fs::path& candidate :
       {installed, (folder / QMR4100_BUILT_PLUGIN).lexically_normal(),
        folder / installed.filename()}) {
    if (fs::exists(candidate, error)) return candidate.string();
  }
  return installed.string();
}

}  // namespace qmr4100::gateway
