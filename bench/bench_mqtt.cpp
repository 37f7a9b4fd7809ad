// What MQTT adds to a 64-module cycle on the gateway's io thread: the state
// message (decoded view and its JSON text) and the alarms message. Handing
// the bytes to libmosquitto is a copy and a queue push, not measured here.
#include <benchmark/benchmark.h>

#include "model/device_state.h"
#include "outputs/common/decoded_view.h"
#include "outputs/mqtt/mqtt_messages.h"

namespace gw = qmr4100::gateway;

namespace {

gw::DeviceState device_with_64_modules() {
  gw::DeviceState device(gw::DeviceConfig("/dev/null", 1, 1000), {}, 3);
  qmr4100::Block block{};
  block[qmr4100::layout::kModuleCount] = 64;
  for (std::size_t i = 0; i < 64; ++i)
    qmr4100::put_f32le(block, qmr4100::layout::module_record(i) + qmr4100::layout::kModuleValue,
                       25.0f + static_cast<float>(i) / 10);
  device.Published(block, {}, gw::WallClock::now());
  return device;
}

void StateMessage64(benchmark::State& state) {
  const gw::DeviceState device = device_with_64_modules();
  for (auto _ : state) benchmark::DoNotOptimize(gw::state_message("qmr4100", device));
}
BENCHMARK(StateMessage64)->Unit(benchmark::kMicrosecond);

// Nearly all of the state message: the decoded view written as text.
void ViewText64(benchmark::State& state) {
  const gw::DeviceState device = device_with_64_modules();
  for (auto _ : state) benchmark::DoNotOptimize(gw::decoded_view_text(device));
}
BENCHMARK(ViewText64)->Unit(benchmark::kMicrosecond);

void AlarmsMessage(benchmark::State& state) {
  const gw::DeviceState device = device_with_64_modules();
  for (auto _ : state) benchmark::DoNotOptimize(gw::alarms_message("qmr4100", device));
}
BENCHMARK(AlarmsMessage)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
