// Cost of the driver's work per polling cycle: decoders, one answer through
// the protocol layer, round completion and a whole cycle.
#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <stdexcept>

#include "alloc_counter.h"
#include "console_silencer.h"
#include "counting_host.h"
#include "cycle_fixture.h"
#include "driver/decoders.h"
#include "ydt1363/frame.h"

namespace {

constexpr int kPointsBase = 1144;

std::vector<std::uint8_t> info_of(const std::string& frame) {
  auto decoded = ydt1363::decode(frame);
  if (decoded.error != ydt1363::DecodeError::None) throw std::runtime_error("bad answer frame");
  return decoded.frame.info;
}

const bench::CycleFrames& frames_for(int modules) {
  static std::map<int, bench::CycleFrames> cache;
  auto it = cache.find(modules);
  if (it == cache.end()) it = cache.emplace(modules, bench::record_cycle(modules)).first;
  return it->second;
}

void set_allocation_counter(benchmark::State& state, const bench::AllocationScope& scope) {
  state.counters["allocs/op"] =
      benchmark::Counter(static_cast<double>(scope.count()), benchmark::Counter::kAvgIterations);
}

// The alarm points of one round and the time each one costs.
void set_point_counters(benchmark::State& state, int modules) {
  const double points = 2.0 * modules + kPointsBase;
  state.counters["points"] = points;
  state.counters["time/point"] = benchmark::Counter(
      points, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// --- decoders, on a block primed with the module count of the 0x42 answer ---

template <typename Decode>
void decoder_bench(benchmark::State& state, std::size_t step, Decode decode) {
  const auto& frames = frames_for(64);
  const std::vector<std::uint8_t> info = info_of(frames.answers[step]);
  const std::vector<std::uint8_t> module_count_answer = info_of(frames.answers[0]);
  qmr4100::Block block{};
  qmr4100::decode_41_42(block, {module_count_answer.data(), module_count_answer.size()}, nullptr);
  bench::AllocationScope scope;
  for (auto _ : state) {
    benchmark::DoNotOptimize(decode(block, qmr4100::Info{info.data(), info.size()}));
    benchmark::ClobberMemory();
  }
  set_allocation_counter(state, scope);
}

void BM_Decode42(benchmark::State& s) {
  decoder_bench(s, 0, [](auto& b, auto i) { return qmr4100::decode_41_42(b, i, nullptr); });
}
void BM_Decode43(benchmark::State& s) {
  decoder_bench(s, 1, [](auto& b, auto i) { return qmr4100::decode_41_43(b, i, nullptr); });
}
void BM_Decode44(benchmark::State& s) {
  decoder_bench(s, 2, [](auto& b, auto i) { return qmr4100::decode_41_44(b, i); });
}
void BM_Decode91(benchmark::State& s) {
  decoder_bench(s, 3, [](auto& b, auto i) { return qmr4100::decode_41_91(b, i); });
}
void BM_Decode95(benchmark::State& s) {
  decoder_bench(s, 4, [](auto& b, auto i) { qmr4100::decode_41_95(b, i); return 0; });
}
void BM_Decode9C(benchmark::State& s) {
  decoder_bench(s, 5, [](auto& b, auto i) { return qmr4100::decode_41_9C(b, i); });
}
void BM_Decode86(benchmark::State& s) {
  decoder_bench(s, 6, [](auto& b, auto i) { return qmr4100::decode_41_86(b, i); });
}
void BM_DecodeA2(benchmark::State& s) {
  decoder_bench(s, 7, [](auto& b, auto i) { return qmr4100::decode_41_A2(b, i); });
}
BENCHMARK(BM_Decode42);
BENCHMARK(BM_Decode43);
BENCHMARK(BM_Decode44);
BENCHMARK(BM_Decode91);
BENCHMARK(BM_Decode95);
BENCHMARK(BM_Decode9C);
BENCHMARK(BM_Decode86);
BENCHMARK(BM_DecodeA2);

// --- one 64-module 0x42 answer through process(): codec and decoder ---

void BM_ProcessAnswer42(benchmark::State& state) {
  std::string answer = frames_for(64).answers[0];
  auto controller = std::make_shared<bench::QuietController>();
  auto device = bench::make_device(controller);
  bench::AllocationScope scope;
  for (auto _ : state) {
    device->RefreshStatus();
    benchmark::DoNotOptimize(device->process(reinterpret_cast<unsigned char*>(answer.data()),
                                             static_cast<unsigned int>(answer.size())));
  }
  set_allocation_counter(state, scope);
}
BENCHMARK(BM_ProcessAnswer42);

// --- round completion: real host runtime, and a host that only counts ---

void round_done_bench(benchmark::State& state, bool counting) {
  const int modules = static_cast<int>(state.range(0));
  auto controller = std::make_shared<bench::QuietController>();
  auto device = bench::make_device(controller);
  bench::CycleFrames frames = frames_for(modules);
  bench::run_cycle(*device, frames);  // fills the block for `modules` modules
  controller->WaitIdle();
  bench::set_counting_host(counting);
  const std::uint64_t evaluations_before = bench::counted_evaluations();
  bench::AllocationScope scope;
  for (auto _ : state) {
    device->RoundDone();
    state.PauseTiming();
    controller->WaitIdle();
    state.ResumeTiming();
  }
  set_allocation_counter(state, scope);
  bench::set_counting_host(false);
  // Shows that every point reached the interposed CheckThresholdBool.
  state.counters["evals/op"] =
      benchmark::Counter(static_cast<double>(bench::counted_evaluations() - evaluations_before),
                         benchmark::Counter::kAvgIterations);
  set_point_counters(state, modules);
}

void BM_RoundDoneHost(benchmark::State& s) { round_done_bench(s, false); }
void BM_RoundDoneDriverShare(benchmark::State& s) { round_done_bench(s, true); }
BENCHMARK(BM_RoundDoneHost)->Arg(0)->Arg(8)->Arg(64)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RoundDoneDriverShare)->Arg(0)->Arg(8)->Arg(64)->Unit(benchmark::kMicrosecond);

// --- a whole cycle: eight answers and round completion ---

void BM_Cycle(benchmark::State& state) {
  const int modules = static_cast<int>(state.range(0));
  auto controller = std::make_shared<bench::QuietController>();
  auto device = bench::make_device(controller);
  bench::CycleFrames frames = frames_for(modules);
  bench::AllocationScope scope;
  for (auto _ : state) {
    benchmark::DoNotOptimize(bench::run_cycle(*device, frames));
    state.PauseTiming();
    controller->WaitIdle();
    state.ResumeTiming();
  }
  set_allocation_counter(state, scope);
  set_point_counters(state, modules);
  const double wire = bench::wire_seconds(frames.wire_chars());
  state.counters["wire_ms"] = wire * 1e3;
  state.counters["cpu/wire"] = benchmark::Counter(
      wire, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_Cycle)->Arg(8)->Arg(64)->Unit(benchmark::kMicrosecond);

}  // namespace

// Like BENCHMARK_MAIN, with the driver's console lines kept out of the report.
int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  bench::ConsoleSilencer silencer;
  std::unique_ptr<benchmark::BenchmarkReporter> display(benchmark::CreateDefaultDisplayReporter());
  display->SetOutputStream(&silencer.report());
  benchmark::RunSpecifiedBenchmarks(display.get());
  benchmark::Shutdown();
  return 0;
}
