// The driver object as the factory makes it and as InitSetting prepares it.
#include <gtest/gtest.h>
#include <json/value.h>

#include <vector>

#include "driver/VARNOK_QMR4100.h"

namespace {

TEST(NewDevice, StartsIdleWithItsTypeAndNoAlarmEntries) {
  VARNOK_QMR4100 device;
  EXPECT_EQ(device.DeviceType(), "varnok_qmr4100");
  EXPECT_EQ(device.Step(), 0);
  EXPECT_TRUE(device.AlarmList().empty());
}

struct SettingCase {
  unsigned int data_id;
  Json::Value config;  // ignored by InitSetting
  std::vector<std::uint8_t> bytes;
};

TEST(InitSetting, WritesTheDataIdLittleEndianWhateverTheConfiguration) {
  const SettingCase cases[] = {
      {1000, Json::Value(), {0xE8, 0x03, 0x00, 0x00}},
      {1000, Json::Value(Json::objectValue), {0xE8, 0x03, 0x00, 0x00}},
      {0xFFFFFFFE, Json::Value("text"), {0xFE, 0xFF, 0xFF, 0xFF}},
      {0x01020304, Json::Value(Json::arrayValue), {0x04, 0x03, 0x02, 0x01}},
  };
  for (const SettingCase& c : cases) {
    VARNOK_QMR4100 device;
    device.InitV(nullptr, c.data_id, c.config);
    EXPECT_TRUE(device.InitSetting(c.config));
    EXPECT_EQ(std::vector<std::uint8_t>(device.Snapshot().begin(), device.Snapshot().begin() + 4),
              c.bytes)
        << c.data_id;
  }
}

}  // namespace
