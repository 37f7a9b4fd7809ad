#include <gtest/gtest.h>

#include <stdexcept>

#include "host/SMDController.h"
#include "host/SMDSPDevice.h"
#include "poll/plugin_loader.h"

namespace gw = qmr4100::gateway;

namespace {

std::string load_error(const std::string& path) {
  try {
    gw::Plugin::Load(path);
  } catch (const gw::PluginError& error) {
    return error.what();
  }
  return "";
}

Json::Value address(unsigned int adr) {
  Json::Value config(Json::objectValue);
  config["address"] = adr;
  return config;
}

std::string query(const SMDSPDevice& device) {
  try {
    device.Get_Value(0, "any");
  } catch (const std::out_of_range& refusal) {
    return refusal.what();
  }
  return "answered";
}

TEST(GatewayPlugin, MissingFileIsAClearError) {
  const std::string message = load_error("/nonexistent/varnok_qmr4100.so");
  EXPECT_EQ(message.rfind("/nonexistent/varnok_qmr4100.so: cannot load the plug-in", 0), 0u)
      << message;
}

TEST(GatewayPlugin, LibraryWithoutEntryPointIsAClearError) {
  const std::string message = load_error(NO_ENTRY_PLUGIN);
  EXPECT_NE(message.find("no entry point get_providers"), std::string::npos) << message;
  EXPECT_NE(message.find(NO_ENTRY_PLUGIN), std::string::npos) << message;
}

TEST(GatewayPlugin, DeviceOfAnotherTypeIsRefused) {
  auto plugin = gw::Plugin::Load(OTHER_TYPE_PLUGIN);
  auto controller = std::make_shared<SMDController>();
  try {
    plugin->CreateDevice(controller, 1000, address(1));
    FAIL() << "a device of another type was accepted";
  } catch (const gw::PluginError& error) {
    EXPECT_NE(std::string(error.what()).find("\"other_power_system\", not \"varnok_qmr4100\""),
              std::string::npos)
        << error.what();
  }
}

TEST(GatewayPlugin, CreatesInitialisedDevicesThatOutliveTheLoaderHandle) {
  auto controller = std::make_shared<SMDController>();
  std::shared_ptr<SMDSPDevice> first;
  std::shared_ptr<SMDSPDevice> second;
  {
    auto plugin = gw::Plugin::Load(DRIVER_PLUGIN);
    first = plugin->CreateDevice(controller, 1000, address(1));
    second = plugin->CreateDevice(controller, 1001, address(7));
  }
  // The devices keep the library open: their code still runs.
  ASSERT_NE(first, second);
  EXPECT_EQ(first->DeviceType(), "varnok_qmr4100");
  EXPECT_EQ(first->DataId(), 1000u);
  EXPECT_EQ(second->Address(), 7);
  EXPECT_EQ(first->BaudRate(), 9600);
  EXPECT_EQ(query(*first), "数据未就绪");
}

TEST(GatewayPlugin, AddressOutOfRangeIsRefused) {
  auto plugin = gw::Plugin::Load(DRIVER_PLUGIN);
  auto controller = std::make_shared<SMDController>();
  EXPECT_THROW(plugin->CreateDevice(controller, 1000, address(256)), gw::PluginError);
}

}  // namespace
