// The plug-in as the host sees it: a shared library loaded at run time whose
// one entry point hands out the device factory.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/PMBusProtocol.h"
#include "host/Provider.h"
#include "host/SMDController.h"

namespace {

using GetProviders = std::vector<std::shared_ptr<Provider>> (*)();

class RecordingController : public SMDController {
 public:
  int OnSend(SMDSPDevice&, const unsigned char* data, unsigned int length) override {
    sent.emplace_back(reinterpret_cast<const char*>(data), length);
    return static_cast<int>(length);
  }
  std::vector<std::string> sent;
};

class PluginTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { library = dlopen(QMR_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL); }
  // Every object from the library is gone by now, so its code may go too.
  static void TearDownTestSuite() {
    if (library != nullptr) dlclose(library);
    library = nullptr;
  }

  void SetUp() override { ASSERT_NE(library, nullptr) << QMR_PLUGIN_PATH << ": " << dlerror(); }

  static GetProviders entry_point() {
    return reinterpret_cast<GetProviders>(dlsym(library, "get_providers"));
  }

  static std::shared_ptr<SMDSPDeviceProvider> provider() {
    const auto providers = entry_point()();
    if (providers.size() != 1) return nullptr;
    return std::dynamic_pointer_cast<SMDSPDeviceProvider>(providers[0]);
  }

  static void* library;
};

void* PluginTest::library = nullptr;

TEST_F(PluginTest, ExportsTheEntryPointOnly) {
  EXPECT_NE(entry_point(), nullptr);
  EXPECT_EQ(dlsym(library, "_ZTV14VARNOK_QMR4100"), nullptr);  // its virtual table
  EXPECT_EQ(dlsym(library, "_ZN22VARNOK_QMR4100ProviderD0Ev"), nullptr);
}

TEST_F(PluginTest, EachCallHandsOutItsOwnProvider) {
  const auto first = entry_point()();
  const auto second = entry_point()();
  ASSERT_EQ(first.size(), 1u);
  ASSERT_EQ(second.size(), 1u);
  ASSERT_NE(first[0], nullptr);
  EXPECT_NE(first[0], second[0]);
  EXPECT_EQ(first[0].use_count(), 1);  // the library keeps no reference
  EXPECT_NE(std::dynamic_pointer_cast<SMDSPDeviceProvider>(first[0]), nullptr);
}

TEST_F(PluginTest, EachCreateMakesANewDeviceWithTheDefaults) {
  const auto factory = provider();
  ASSERT_NE(factory, nullptr);
  const std::shared_ptr<SMDSPDevice> first(factory->create());
  const std::shared_ptr<SMDSPDevice> second(factory->create());
  ASSERT_NE(first, nullptr);
  EXPECT_NE(first, second);

  for (const auto& device : {first, second}) {
    // The driver's own class is not exported; its host base is all a host knows.
    auto& driver = static_cast<PMBusProtocol&>(*device);
    EXPECT_EQ(driver.DeviceType(), "varnok_qmr4100");
    EXPECT_TRUE(driver.IsSupportDevice("varnok_qmr4100"));
    EXPECT_EQ(driver.Step(), 0);
    EXPECT_EQ(driver.Address(), SMDSPDevice::kDefaultAddress);
    EXPECT_EQ(driver.BaudRate(), 9600);
    EXPECT_EQ(driver.ProtocolByte(), 0x21);
    EXPECT_EQ(driver.DataValid(), 0);
    // The one-byte switch of the serial layer is set: sending clears the input count.
    driver.SetInputCount(5);
    driver.SendData(nullptr, 0);
    EXPECT_EQ(driver.InputCount(), 0u);
  }
}

TEST_F(PluginTest, FreshDeviceRefusesQueriesAsNotReady) {
  const std::shared_ptr<SMDSPDevice> device(provider()->create());
  try {
    device->Get_Value(0, "");
    ADD_FAILURE() << "Get_Value returned";
  } catch (const std::out_of_range& refused) {
    EXPECT_STREQ(refused.what(), "数据未就绪");
  }
}

TEST_F(PluginTest, LoadedDeviceStartsACycleOnItsLine) {
  auto controller = std::make_shared<RecordingController>();
  const std::shared_ptr<SMDSPDevice> device(provider()->create());
  Json::Value config(Json::objectValue);
  config["address"] = 1;
  ASSERT_EQ(device->Init(controller, 1000, config), 1);
  ASSERT_TRUE(device->InitSetting(config));
  EXPECT_EQ(device->RefreshStatus(), 1);
  EXPECT_EQ(device->Step(), 1);
  EXPECT_EQ(controller->sent, std::vector<std::string>{"~210141420000FDB1\r"});
}

}  // namespace
