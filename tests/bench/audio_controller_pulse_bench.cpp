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

#include "audio/backend.h"
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

// The baselines: the same libcubeb calls made directly on the calling thread, without the
// controller thread, its channels or the copies into EndpointInfo.
bool listed_directly(const CubebContext& context, cubeb_device_type type, benchmark::State& state) {
  const auto collection = CubebDeviceCollection::enumerate(context, type);
  if (!collection) state.SkipWithError("cubeb_enumerate_devices failed");
  if (collection) benchmark::DoNotOptimize(collection->devices().data());
  return collection.has_value();
}

void BM_CubebAloneStartAndListBothDirections(benchmark::State& state) {
  if (!with_sinks(state, static_cast<std::size_t>(state.range(0)))) return;
  for (auto _ : state) {
    cubeb* raw = nullptr;
    if (cubeb_init(&raw, AUDIO_CONTEXT_NAME, PREFERRED_AUDIO_BACKEND) != CUBEB_OK) {
      state.SkipWithError("cubeb_init failed");
      break;
    }
    std::optional<CubebContext> context(std::in_place, raw);
    if (!listed_directly(*context, CUBEB_DEVICE_TYPE_INPUT, state) ||
        !listed_directly(*context, CUBEB_DEVICE_TYPE_OUTPUT, state)) {
      break;
    }
    state.PauseTiming();
    context.reset();  // as above, the end is not part of the start-up
    state.ResumeTiming();
  }
  state.SetComplexityN(state.range(0));
}

void cubeb_alone_request(benchmark::State& state, cubeb_device_type type) {
  if (!with_sinks(state, static_cast<std::size_t>(state.range(0)))) return;
  cubeb* raw = nullptr;
  if (cubeb_init(&raw, AUDIO_CONTEXT_NAME, PREFERRED_AUDIO_BACKEND) != CUBEB_OK) {
    state.SkipWithError("cubeb_init failed");
    return;
  }
  const CubebContext context(raw);
  for (auto _ : state) {
    if (!listed_directly(context, type, state)) break;
  }
  state.SetComplexityN(state.range(0));
}

void BM_CubebAloneCaptureRequest(benchmark::State& state) { cubeb_alone_request(state, CUBEB_DEVICE_TYPE_INPUT); }
void BM_CubebAloneRenderRequest(benchmark::State& state) { cubeb_alone_request(state, CUBEB_DEVICE_TYPE_OUTPUT); }

BENCHMARK(BM_StartAndListBothDirections)->Arg(2)->Arg(20)->Arg(200)->Unit(benchmark::kMillisecond)->UseRealTime()->Complexity();
BENCHMARK(BM_CaptureRequest)->Arg(2)->Arg(20)->Arg(200)->Unit(benchmark::kMicrosecond)->UseRealTime()->Complexity();
BENCHMARK(BM_RenderRequest)->Arg(2)->Arg(20)->Arg(200)->Unit(benchmark::kMicrosecond)->UseRealTime()->Complexity();
BENCHMARK(BM_CubebAloneStartAndListBothDirections)->Arg(2)->Arg(20)->Arg(200)->Unit(benchmark::kMillisecond)->UseRealTime()->Complexity();
BENCHMARK(BM_CubebAloneCaptureRequest)->Arg(2)->Arg(20)->Arg(200)->Unit(benchmark::kMicrosecond)->UseRealTime()->Complexity();
BENCHMARK(BM_CubebAloneRenderRequest)->Arg(2)->Arg(20)->Arg(200)->Unit(benchmark::kMicrosecond)->UseRealTime()->Complexity();

}  // namespace
}  // namespace orvane
