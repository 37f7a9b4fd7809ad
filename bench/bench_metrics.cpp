// One /metrics scrape of a gateway with 200 devices of 64 modules each, two
// active alarm points per device: the text Prometheus reads, built from the
// state model. Goal: under 5 ms of CPU per scrape.
#include <benchmark/benchmark.h>

#include "outputs/http/gateway_metrics.h"
#include "outputs/http/metrics_text.h"

namespace gw = qmr4100::gateway;
using namespace qmr4100::layout;

namespace {

constexpr unsigned kDevices = 200;

gw::GatewayConfig config_of(unsigned devices) {
  gw::GatewayConfig config;
  for (unsigned i = 0; i < devices; ++i)
    config.devices.push_back({"/dev/ttyUSB" + std::to_string(i / 8), 1 + i % 8, 1000 + i});
  return config;
}

qmr4100::Block block_with_modules() {
  qmr4100::Block block{};
  block[kModuleCount] = kMaxModules;
  qmr4100::put_f32le(block, kSystemValue, 53.5f);
  for (std::size_t i = 0; i < kMaxModules; ++i) {
    qmr4100::put_f32le(block, module_record(i) + kModuleValue, 12.5f + 0.1f * i);
    block[module_record(i) + kModuleStatus] = i == 3   ? qmr4100::kModuleCommFailure
                                              : i == 5 ? qmr4100::kModuleFault
                                                       : 0;
  }
  return block;
}

void BM_MetricsScrape(benchmark::State& state) {
  const gw::GatewayConfig config = config_of(kDevices);
  gw::StateModel model(config);
  gw::GatewayMetrics metrics(model);
  model.AddListener(metrics);
  const qmr4100::Block block = block_with_modules();
  const std::vector<AlarmEngine::Transition> alarms = {
      {rule_value(2, "pmz21vb_0", "06024", "第6整流模块整流模块故障告警",
                  "第6整流模块整流模块故障告警", true, 6),
       true},
      {rule_value(2, "pmz21vb_2", "06028", "第4整流模块整流模块通信状态告警",
                  "第4整流模块整流模块通信状态告警", true, 4),
       true}};
  for (const gw::DeviceConfig& device : config.devices) {
    model.Published(device.data_id, block, {}, gw::WallClock::now(),
                    std::chrono::milliseconds(800));
    model.AlarmsChanged(device.data_id, alarms, gw::WallClock::now());
  }
  std::size_t bytes = 0;
  for (auto _ : state) {
    const std::string text = gw::metrics_text(model, metrics);
    bytes = text.size();
    benchmark::DoNotOptimize(text.data());
  }
  state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_MetricsScrape)->Unit(benchmark::kMillisecond);

}  // namespace
