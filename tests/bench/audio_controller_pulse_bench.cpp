// The audio controller against the real libcubeb and a PulseAudio server holding N null sinks
// (each also a capture device, its monitor): the start-up with one capture and one render
// enumeration, and the time of one request as N grows. Needs a running server:
//   tests/pulse/pulse-server.sh start DIR
//   PULSE_SERVER=unix:DIR/run/native PULSE_RUNTIME_PATH=DIR/run PULSE_COOKIE=DIR/cookie
//     orvane_pulse_benchmarks   (all on one command line)
//   tests/pulse/pulse-server.sh stop DIR
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "audio/controller.h"
#include "tests/pulse/null_devices.h"
#include "tests/sim/sim_windows.h"

namespace orvane {
namespace {

/// Brings the server to exactly `count` benchmark sinks; false (and the benchmark skipped) when
/// there is no server to talk to.
bool with_sinks(benchmark::State& state, std::size_t count) {
  static test::NullDevices sinks;
  if (std::getenv("PULSE_SERVER") == nullptr) {
    state.SkipWithError("PULSE_SERVER is not set; start a server with tests/pulse/pulse-server.sh");
    return false;
  }
  try {
    while (sinks.size() > count) sinks.remove_last();
    while (sinks.size() < count) {
      sinks.add_sink("orvane_bench_" + std::to_string(sinks.size()), 2, 48000, "Bench");
    }
  } catch (const std::exception& error) {
    state.SkipWithError(error.what());
    return false;
  }
  return true;
}

void BM_StartAndListBothDirections(benchmark::State& state) {
  const auto sinks = static_cast<std::size_t>(state.range(0));
  if (!with_sinks(state, sinks)) return;
  sim::SimWindows windows;
  for (auto _ : state) {
    std::optional<AudioControllerRegistry> registry;
    registry.emplace(windows, windows);
    const auto endpoints = list_audio_endpoints(*registry);
    if (!endpoints || endpoints->size() < 2 * sinks) {
      state.SkipWithError(endpoints ? "fewer endpoints than sinks" : endpoints.error().c_str());
      break;
    }
    benchmark::DoNotOptimize(endpoints->data());
    state.PauseTiming();
    registry.reset();  // stopping the thread is not part of the start-up
    state.ResumeTiming();
  }
  state.SetComplexityN(state.range(0));
}

void request_benchmark(benchmark::State& state, EndpointDirection direction) {
  const auto sinks = static_cast<std::size_t>(state.range(0));
  if (!with_sinks(state, sinks)) return;
  sim::SimWindows windows;
  AudioControllerRegistry registry(windows, windows);
  const auto controller = registry.shared_audio_controller();
  if (!controller) {
    state.SkipWithError(controller.error().c_str());
    return;
  }
  std::size_t listed = 0;
  for (auto _ : state) {
    const auto endpoints = (*controller)->enumerate_endpoints(direction);
    if (!endpoints) {
      state.SkipWithError(endpoints.error().c_str());
      break;
    }
    listed = endpoints->size();
    benchmark::DoNotOptimize(endpoints->data());
  }
  state.counters["endpoints"] = static_cast<double>(listed);
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(listed));
  state.SetComplexityN(state.range(0));
}

void BM_CaptureRequest(benchmark::State& state) { request_benchmark(state, EndpointDirection::Capture); }
void BM_RenderRequest(benchmark::State& state) { request_benchmark(state, EndpointDirection::Render); }

BENCHMARK(BM_StartAndListBothDirections)->Arg(2)->Arg(20)->Arg(200)->Unit(benchmark::kMillisecond)->UseRealTime()->Complexity();
BENCHMARK(BM_CaptureRequest)->Arg(2)->Arg(20)->Arg(200)->Unit(benchmark::kMicrosecond)->UseRealTime()->Complexity();
BENCHMARK(BM_RenderRequest)->Arg(2)->Arg(20)->Arg(200)->Unit(benchmark::kMicrosecond)->UseRealTime()->Complexity();

}  // namespace
}  // namespace orvane
