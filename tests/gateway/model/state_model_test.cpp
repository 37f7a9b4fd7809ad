// The device state model: health transitions, the decoded view, alarm times,
// counters and the history ring.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <iterator>

#include "model/state_model.h"
#include "outputs/common/decoded_view.h"

namespace gw = qmr4100::gateway;
namespace layout = qmr4100::layout;

namespace {

struct HealthLog : gw::StateListener {
  void HealthChanged(const gw::DeviceState&, const gw::HealthChange& change) override {
    changes.push_back(change);
  }
  std::vector<gw::HealthChange> changes;
};

gw::GatewayConfig one_device(int offline_after) {
  gw::GatewayConfig config;
  config.devices = {{"/dev/ttyS0", 1, 1000}};
  config.offline_after = offline_after;
  return config;
}

qmr4100::Block block_with_modules(std::initializer_list<std::uint8_t> statuses) {
  qmr4100::Block block{};
  qmr4100::put_u32le(block, layout::kDataId, 1000);
  qmr4100::put_f32le(block, layout::kSystemValue, 53.1f);
  block[layout::kModuleCount] = static_cast<std::uint8_t>(statuses.size());
  std::size_t i = 0;
  for (std::uint8_t status : statuses) {
    qmr4100::put_f32le(block, layout::module_record(i) + layout::kModuleValue, 50.5f + i);
    block[layout::module_record(i) + layout::kModuleStatus] = status;
    ++i;
  }
  return block;
}

void publish(gw::StateModel& model, const qmr4100::Block& block) {
  model.Published(1000, block, {}, gw::WallClock::now());
}

void miss(gw::StateModel& model) {
  model.Missed(1000, gw::CycleResult::Abandoned, 1, "no answer within 2000 ms");
}

TEST(DeviceHealth, EachTransitionIsAnnouncedOnce) {
  gw::StateModel model(one_device(3));
  HealthLog log;
  model.AddListener(log);
  miss(model);
  miss(model);
  EXPECT_TRUE(log.changes.empty()) << "offline before the third missed cycle";
  for (int i = 0; i < 5; ++i) miss(model);
  ASSERT_EQ(log.changes.size(), 1u);
  EXPECT_EQ(log.changes[0].from, gw::Health::Unknown);
  EXPECT_EQ(log.changes[0].to, gw::Health::Offline);
  EXPECT_NE(log.changes[0].reason.find("no answer within 2000 ms"), std::string::npos);

  publish(model, block_with_modules({0}));
  publish(model, block_with_modules({0}));
  ASSERT_EQ(log.changes.size(), 2u);
  EXPECT_EQ(log.changes[1].to, gw::Health::Online);

  // A lost port makes its devices offline at once; the cycles missed after do not repeat it.
  model.PortDown("/dev/ttyS0", gw::PortEvent::Lost, "EIO", {1000});
  for (int i = 0; i < 4; ++i) miss(model);
  ASSERT_EQ(log.changes.size(), 3u);
  EXPECT_EQ(log.changes[2].to, gw::Health::Offline);
  EXPECT_EQ(log.changes[2].reason, "port lost: EIO");

  // A missed cycle after recovery starts the count again.
  publish(model, block_with_modules({0}));
  miss(model);
  publish(model, block_with_modules({0}));
  EXPECT_EQ(log.changes.size(), 4u);
  model.Read(1000, [](const gw::DeviceState& device) {
    EXPECT_EQ(device.Count().published, 4u);
    EXPECT_EQ(device.Count().abandoned, 12u);
  });
}

TEST(DecodedView, CarriesTheBlockWithoutStaleReadings) {
  gw::GatewayConfig config = one_device(3);
  config.fields["system_value"] = {"Bus voltage", "V"};
  config.devices[0].name = "Site \"A\"\\ 机房\n";
  gw::StateModel model(config);
  const qmr4100::Block block =
      block_with_modules({0x00, qmr4100::kModuleFault, qmr4100::kModuleCommFailure});
  model.Read(1000, [](const gw::DeviceState& device) {
    const Json::Value before = gw::decoded_view(device);
    EXPECT_EQ(before["name"], "Site \"A\"\\ 机房\n");
    EXPECT_FALSE(before.isMember("block")) << "nothing published yet";
  });
  publish(model, block);
  const Json::Value view =
      model.Read(1000, [](const gw::DeviceState& device) { return gw::decoded_view(device); });
  for (const char* key : {"data_id", "name", "time", "received", "module_count", "system_value",
                          "modules", "values_a2", "value_95", "battery", "block"})
    EXPECT_TRUE(view.isMember(key)) << key;
  EXPECT_EQ(view["system_value"].asDouble(), 53.1);  // the decimal, not the float's expansion
  EXPECT_EQ(view["labels"]["system_value"]["unit"], "V");
  ASSERT_EQ(view["modules"].size(), 3u);
  EXPECT_EQ(view["modules"][0]["value"].asDouble(), 50.5);
  EXPECT_TRUE(view["modules"][1]["fault"].asBool());
  EXPECT_TRUE(view["modules"][2]["comm_failure"].asBool());
  EXPECT_TRUE(view["modules"][2]["value"].isNull());
  EXPECT_EQ(view["modules"][2]["states"].size(), 3u);
  EXPECT_EQ(view["values_a2"].size(), layout::kValueCountA2);
  EXPECT_EQ(view["block"].asString().size(), 2 * layout::kBlockSize);
  EXPECT_EQ(view["received"].asString().back(), 'Z');
}

// The zone's offset on the block's own day, daylight saving time included.
TEST(DecodedView, BlockTimeCarriesTheGatewaysOffsetFromUtc) {
  const char* const saved = std::getenv("TZ");
  const std::string before = saved ? saved : "";
  setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
  tzset();
  qmr4100::Block block{};
  const auto text_at = [&block](int month) {
    const std::uint8_t stamp[] = {0xEA, 0x07, static_cast<std::uint8_t>(month), 8, 21, 5, 39};
    std::copy(std::begin(stamp), std::end(stamp), block.begin() + layout::kTimestamp);
    return gw::block_time_text(block);
  };
  EXPECT_EQ(text_at(12), "2026-12-08T21:05:39+01:00");
  EXPECT_EQ(text_at(7), "2026-07-08T21:05:39+02:00");
  setenv("TZ", "UTC0", 1);
  tzset();
  EXPECT_EQ(text_at(12), "2026-12-08T21:05:39+00:00");
  if (saved) {
    setenv("TZ", before.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
}

TEST(DeviceAlarms, ActivePointsKeepTheTimeTheyWereRaised) {
  gw::StateModel model(one_device(3));
  const rule_value fault(0, "id_1", "06024", "名称", "第2整流模块故障", true, 2);
  rule_value cleared = fault;
  cleared.active = false;
  const auto raised_at = gw::WallClock::now();
  model.AlarmsChanged(1000, {{fault, true}}, raised_at);
  model.AlarmsChanged(1000, {{fault, true}}, raised_at + std::chrono::seconds(5));
  model.Read(1000, [&](const gw::DeviceState& device) {
    ASSERT_EQ(device.Alarms().size(), 1u);
    EXPECT_EQ(device.Alarms()[0].since, raised_at);
  });
  model.AlarmsChanged(1000, {{cleared, false}}, raised_at + std::chrono::seconds(9));
  model.ErrorReply(1000, 0x02);
  model.ErrorReply(1000, 0x02);
  model.Read(1000, [](const gw::DeviceState& device) {
    EXPECT_TRUE(device.Alarms().empty());
    EXPECT_EQ(device.Count().error_replies.at("02"), 2u);
  });
}

TEST(DeviceHistory, KeepsTheLastPublicationsInFixedMemory) {
  gw::StateModel model(one_device(3));
  qmr4100::Block block = block_with_modules({0, qmr4100::kModuleCommFailure});
  const std::size_t total = gw::History::kCapacity + 100;
  for (std::size_t i = 0; i < total; ++i) {
    qmr4100::put_f32le(block, layout::kSystemValue, static_cast<float>(i));
    publish(model, block);
  }
  model.Read(1000, [](const gw::DeviceState& device) {
    const gw::History& history = device.Values();
    ASSERT_EQ(history.Size(), gw::History::kCapacity);
    EXPECT_EQ(history.At(0).system_value, 100.0f);
    EXPECT_EQ(history.At(history.Size() - 1).system_value, 819.0f);
    EXPECT_EQ(history.Module(0, 0), 50.5f);
    EXPECT_TRUE(std::isnan(history.Module(0, 1))) << "no reading without communication";
  });
}

}  // namespace
