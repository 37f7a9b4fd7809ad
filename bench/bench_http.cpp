// The io thread's share of one HTTP API request for a device of 64 modules
// whose history ring is full (720 publications): the history document and
// the device detail, as HttpRoutes answers them. The first request after a
// publication builds the document; later ones until the next publication
// take the copy the server keeps.
#include <benchmark/benchmark.h>

#include "outputs/http/gateway_metrics.h"
#include "outputs/http/http_routes.h"

namespace gw = qmr4100::gateway;
using namespace qmr4100::layout;

namespace {

constexpr unsigned kDataId = 1000;

qmr4100::Block block_with_modules(float offset) {
  qmr4100::Block block{};
  block[kModuleCount] = kMaxModules;
  qmr4100::put_f32le(block, kSystemValue, 53.5f + offset);
  for (std::size_t i = 0; i < kMaxModules; ++i) {
    qmr4100::put_f32le(block, module_record(i) + kModuleValue, 12.5f + 0.1f * i + offset);
    block[module_record(i) + kModuleStatus] = i == 3 ? qmr4100::kModuleCommFailure : 0;
  }
  for (std::size_t k = 0; k < kValueCountA2; ++k)
    qmr4100::put_f32le(block, kValuesA2 + 4 * k, 220.1f + k);
  return block;
}

struct FullHistory {
  FullHistory() : model(config()), metrics(model), histories(model), routes(model, metrics, histories) {
    model.AddListener(metrics);
    model.AddListener(histories);
    for (std::size_t i = 0; i < 720; ++i)
      model.Published(kDataId, block_with_modules(0.01f * (i % 50)), {}, gw::WallClock::now());
  }
  static gw::GatewayConfig config() {
    gw::GatewayConfig config;
    config.devices = {{"/dev/ttyUSB0", 1, kDataId}};
    return config;
  }
  gw::StateModel model;
  gw::GatewayMetrics metrics;
  gw::HistoryReplies histories;
  gw::HttpRoutes routes;
};

// `fresh`: every request is the first after a publication.
void answer(benchmark::State& state, FullHistory& fixture, const char* target, bool fresh = false) {
  std::size_t bytes = 0;
  for (auto _ : state) {
    if (fresh) fixture.model.Read(kDataId, [&](const gw::DeviceState& d) { fixture.histories.Published(d); });
    const gw::HttpReply reply = fixture.routes.Answer(boost::beast::http::verb::get, target);
    bytes = reply.body.size();
    benchmark::DoNotOptimize(reply.body.data());
  }
  state.counters["bytes"] = static_cast<double>(bytes);
}

void BM_HistoryRequest(benchmark::State& state) {
  FullHistory fixture;
  answer(state, fixture, "/api/v1/devices/1000/history");
}
BENCHMARK(BM_HistoryRequest)->Unit(benchmark::kMillisecond);

void BM_HistoryFirstRequest(benchmark::State& state) {
  FullHistory fixture;
  answer(state, fixture, "/api/v1/devices/1000/history", true);
}
BENCHMARK(BM_HistoryFirstRequest)->Unit(benchmark::kMillisecond);

void BM_DeviceDetailRequest(benchmark::State& state) {
  FullHistory fixture;
  answer(state, fixture, "/api/v1/devices/1000");
}
BENCHMARK(BM_DeviceDetailRequest)->Unit(benchmark::kMillisecond);

}  // namespace
