// The driver plug-in loaded into the gateway: the library stays open as long
// as its provider or any device it made is alive.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

#include <json/value.h>

class Provider;
class SMDController;
class SMDSPDevice;

namespace qmr4100::gateway {

// A plug-in that cannot be used: missing file, missing symbol, no provider,
// a device of another type. The message names the library.
class PluginError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Plugin : public std::enable_shared_from_this<Plugin> {
 public:
  static constexpr const char* kDeviceType = "varnok_qmr4100";

  // Opens the library and takes its provider; throws PluginError.
  static std::shared_ptr<Plugin> Load(const std::string& path);
  ~Plugin();
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;

  // A new device, owned through a shared pointer that keeps the library open,
  // initialised with its data id and `config` (which carries "address");
  // throws PluginError for a device of another type or a refused configuration.
  std::shared_ptr<SMDSPDevice> CreateDevice(const std::shared_ptr<SMDController>& controller,
                                            unsigned int data_id, const Json::Value& config);

  const std::string& Path() const { return m_path; }

 private:
  Plugin(std::string path, void* handle);

  std::string m_path;
  void* m_handle;
  std::shared_ptr<Provider> m_provider;
};

// The plug-in where the install rules put it, else the one of the build
// tree the program runs from, else one next to the program; all found
// relative to the running program.
std::string default_plugin_path();

}  // namespace qmr4100::gateway
