#include <gtest/gtest.h>

#include "outputs/snmp/snmp_mib.h"
#include "outputs/snmp/snmp_objects.h"

namespace gw = qmr4100::gateway;
namespace layout = qmr4100::layout;
using gw::mib::AlarmColumn;
using gw::mib::DeviceColumn;
using gw::mib::ModuleColumn;

namespace {

constexpr unsigned int kDataId = 1000;
const gw::WallClock::time_point kReceived = gw::WallClock::time_point(
    std::chrono::milliseconds(1796764539'250));  // 2026-12-08T21:15:39.25Z

struct ModuleSetup {
  float value;
  std::uint8_t status;
};

qmr4100::Block block_with(float system_value, const std::vector<ModuleSetup>& modules) {
  qmr4100::Block block{};
  qmr4100::put_f32le(block, layout::kSystemValue, system_value);
  block[layout::kModuleCount] = static_cast<std::uint8_t>(modules.size());
  for (std::size_t i = 0; i < modules.size(); ++i) {
    qmr4100::put_f32le(block, layout::module_record(i) + layout::kModuleValue, modules[i].value);
    block[layout::module_record(i) + layout::kModuleStatus] = modules[i].status;
  }
  return block;
}

gw::DeviceState device() {
  gw::DeviceConfig config("/dev/ttyS0", 1, kDataId);
  config.name = "机房 A";
  return gw::DeviceState(config, {}, 3);
}

gw::Oid device_oid(DeviceColumn column) {
  return gw::mib::column(gw::mib::kDeviceTable, static_cast<std::uint32_t>(column), {kDataId});
}

gw::Oid module_oid(ModuleColumn column, std::uint32_t module) {
  return gw::mib::column(gw::mib::kModuleTable, static_cast<std::uint32_t>(column),
                         {kDataId, module});
}

gw::Oid alarm_oid(AlarmColumn column, std::uint32_t index) {
  return gw::mib::column(gw::mib::kAlarmTable, static_cast<std::uint32_t>(column),
                         {kDataId, index});
}

gw::SnmpTree tree_of(const gw::DeviceState& state, gw::SnmpAlarmIndex& indices) {
  gw::SnmpTree tree;
  gw::add_device_state(tree, state, kReceived + std::chrono::seconds(7), indices);
  return tree;
}

rule_value module_fault(unsigned short seq) {
  return rule_value(1, "pmz21vb_06003_module_2", "06003", "整流模块故障", "2号整流模块故障", true,
                    seq);
}

TEST(SnmpTenths, RoundTheBlocksFloatsToTheLineValue) {
  const struct {
    float value;
    std::int32_t tenths;
    const char* text;
  } cases[] = {{53.5f, 535, "53.5"},
               {0.1f, 1, "0.1"},
               {6553.5f, 65535, "6553.5"},
               {0.0f, 0, "0.0"},
               {-0.5f, -5, "-0.5"}};
  for (const auto& c : cases) {
    EXPECT_EQ(gw::to_tenths(c.value), c.tenths) << c.value;
    EXPECT_EQ(gw::tenths_text(c.tenths), c.text) << c.tenths;
  }
}

TEST(SnmpDateAndTime, IsElevenOctetsInUtc) {
  const std::string octets = gw::date_and_time(kReceived);
  const std::string expected{0x07, static_cast<char>(0xEA), 12, 8, 21, 15, 39, 2, '+', 0, 0};
  EXPECT_EQ(octets, expected);
}

TEST(SnmpAdminString, LongTextIsCutOnACharacterBoundary) {
  std::string name = "a";
  for (int i = 0; i < 100; ++i) name += "中";  // 301 octets
  const std::string cut = gw::admin_string(name);
  EXPECT_EQ(cut.size(), 1u + 84 * 3);
  EXPECT_EQ(name.compare(0, cut.size(), cut), 0);
  EXPECT_EQ(gw::admin_string("机房 A"), "机房 A");
}

TEST(SnmpDeviceObjects, BeforeThePublicationOnlyNameHealthAndCounters) {
  gw::SnmpAlarmIndex indices;
  const gw::SnmpTree tree = tree_of(device(), indices);
  EXPECT_EQ(tree.Find(device_oid(DeviceColumn::Name))->value, gw::SnmpValue::Octets("机房 A"));
  EXPECT_EQ(tree.Find(device_oid(DeviceColumn::Health))->value, gw::SnmpValue::Integer(1));
  EXPECT_EQ(tree.Find(device_oid(DeviceColumn::Published))->value, gw::SnmpValue::Counter(0));
  for (DeviceColumn absent : {DeviceColumn::SecondsSincePublished, DeviceColumn::ModuleCount,
                              DeviceColumn::SystemValue, DeviceColumn::DataId})
    EXPECT_FALSE(tree.Find(device_oid(absent))) << static_cast<int>(absent);
  EXPECT_FALSE(tree.Find(module_oid(ModuleColumn::Status, 1)));
}

TEST(SnmpDeviceObjects, ShowTheLastBlockInTenths) {
  gw::DeviceState state = device();
  state.Published(block_with(53.5f, {{20.1f, 0}, {0, 0}}), {}, kReceived);
  state.ErrorReply(0x02);
  state.ErrorReply(0x04);
  gw::SnmpAlarmIndex indices;
  const gw::SnmpTree tree = tree_of(state, indices);
  const std::pair<DeviceColumn, gw::SnmpValue> expected[] = {
      {DeviceColumn::Health, gw::SnmpValue::Integer(2)},
      {DeviceColumn::SecondsSincePublished, gw::SnmpValue::Gauge(7)},
      {DeviceColumn::Published, gw::SnmpValue::Counter(1)},
      {DeviceColumn::ErrorReplies, gw::SnmpValue::Counter(2)},
      {DeviceColumn::ModuleCount, gw::SnmpValue::Gauge(2)},
      {DeviceColumn::SystemValue, gw::SnmpValue::Integer(535)},
      {DeviceColumn::SystemValueText, gw::SnmpValue::Octets("53.5")},
      {DeviceColumn::ActiveAlarms, gw::SnmpValue::Gauge(0)},
  };
  for (const auto& [column, value] : expected) {
    const auto found = tree.Find(device_oid(column));
    ASSERT_TRUE(found) << static_cast<int>(column);
    EXPECT_EQ(found->value, value) << static_cast<int>(column);
  }
}

TEST(SnmpModuleObjects, ACommFailedModuleHasStatusButNoValue) {
  gw::DeviceState state = device();
  state.Published(
      block_with(
          0, {{20.1f, 0x00}, {19.9f, qmr4100::kModuleFault}, {48.0f, qmr4100::kModuleCommFailure}}),
      {}, kReceived);
  gw::SnmpAlarmIndex indices;
  const gw::SnmpTree tree = tree_of(state, indices);
  EXPECT_EQ(tree.Find(module_oid(ModuleColumn::Value, 1))->value, gw::SnmpValue::Integer(201));
  EXPECT_EQ(tree.Find(module_oid(ModuleColumn::ValueText, 2))->value,
            gw::SnmpValue::Octets("19.9"));
  EXPECT_EQ(tree.Find(module_oid(ModuleColumn::Fault, 2))->value, gw::SnmpValue::Truth(true));
  EXPECT_EQ(tree.Find(module_oid(ModuleColumn::Fault, 1))->value, gw::SnmpValue::Truth(false));
  EXPECT_FALSE(tree.Find(module_oid(ModuleColumn::Value, 3)));
  EXPECT_FALSE(tree.Find(module_oid(ModuleColumn::ValueText, 3)));
  EXPECT_EQ(tree.Find(module_oid(ModuleColumn::Status, 3))->value, gw::SnmpValue::Gauge(0xFE));
  EXPECT_EQ(tree.Find(module_oid(ModuleColumn::CommFailure, 3))->value, gw::SnmpValue::Truth(true));
  // A walk goes from the comm-failed module's status on to the next column, skipping nothing.
  EXPECT_EQ(tree.Next(module_oid(ModuleColumn::Value, 2))->oid,
            module_oid(ModuleColumn::ValueText, 1));
}

TEST(SnmpAlarmObjects, RowsKeepTheirIndexAndTheTextsTheirBytes) {
  gw::DeviceState state = device();
  state.Apply({module_fault(1), true}, kReceived);
  state.Apply({module_fault(2), true}, kReceived);
  gw::SnmpAlarmIndex indices;
  gw::SnmpTree tree = tree_of(state, indices);
  EXPECT_EQ(tree.Find(alarm_oid(AlarmColumn::Name, 1))->value,
            gw::SnmpValue::Octets("整流模块故障"));
  EXPECT_EQ(tree.Find(alarm_oid(AlarmColumn::Sequence, 2))->value, gw::SnmpValue::Gauge(2));
  EXPECT_EQ(tree.Find(alarm_oid(AlarmColumn::Time, 1))->value,
            gw::SnmpValue::Octets(gw::date_and_time(kReceived)));

  // The first clears: the second keeps index 2, and a new raise gets 3.
  state.Apply({module_fault(1), false}, kReceived);
  EXPECT_EQ(indices.Release(kDataId, module_fault(1)), 1u);
  state.Apply({module_fault(1), true}, kReceived);
  tree = tree_of(state, indices);
  EXPECT_FALSE(tree.Find(alarm_oid(AlarmColumn::Code, 1)));
  EXPECT_EQ(tree.Find(alarm_oid(AlarmColumn::Sequence, 2))->value, gw::SnmpValue::Gauge(2));
  EXPECT_EQ(tree.Find(alarm_oid(AlarmColumn::Sequence, 3))->value, gw::SnmpValue::Gauge(1));
}

TEST(SnmpNotifications, AlarmOnesCarryDataIdAndTheRowsObjects) {
  const gw::AlarmChange cleared{module_fault(1), false, kReceived};
  const gw::SnmpNotification notification = gw::alarm_notification(cleared, kDataId, 4);
  EXPECT_EQ(notification.trap, gw::mib::notification(gw::mib::Notification::AlarmCleared));
  ASSERT_EQ(notification.objects.size(), 7u);
  EXPECT_EQ(notification.objects[0].oid, device_oid(DeviceColumn::DataId));
  EXPECT_EQ(notification.objects[0].value, gw::SnmpValue::Gauge(kDataId));
  EXPECT_EQ(notification.objects[4].oid, alarm_oid(AlarmColumn::Description, 4));
  EXPECT_EQ(notification.objects[4].value, gw::SnmpValue::Octets("2号整流模块故障"));
}

TEST(SnmpNotifications, HealthOnesOnlyForOnlineAndOffline) {
  const struct {
    gw::Health health;
    std::optional<gw::mib::Notification> sent;
  } cases[] = {{gw::Health::Online, gw::mib::Notification::DeviceOnline},
               {gw::Health::Offline, gw::mib::Notification::DeviceOffline},
               {gw::Health::Unknown, std::nullopt}};
  for (const auto& c : cases) {
    const auto notification = gw::health_notification(kDataId, "A", c.health);
    ASSERT_EQ(notification.has_value(), c.sent.has_value());
    if (c.sent) {
      EXPECT_EQ(notification->trap, gw::mib::notification(*c.sent));
    }
  }
}

}  // namespace
