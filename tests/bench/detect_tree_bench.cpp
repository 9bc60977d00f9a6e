// Cost of detection over device trees and endpoint lists of growing size, against the simulation.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "detect/detection.h"
#include "platform/text.h"
#include "tests/sim/sim_windows.h"

namespace orvane {
namespace {

constexpr DevInst FAN_OUT = 8;

struct Tree {
  sim::SimWindows windows;
  DevInst vb_cable = 0;
  DevInst hifi_cable = 0;
  DevInst other_adapter = 0;
  std::vector<EndpointInfo> endpoints;  // capture endpoints first, as the audio controller lists them
};

std::u16string numbered(std::u16string_view prefix, std::size_t number) {
  return std::u16string(prefix) + utf8_to_utf16(decimal(number));
}

// `devnodes` devices in a tree of fan-out 8, each with two PCI-style hardware ids, three of them
// audio adapters: VB-CABLE, Hi-Fi Cable and an unrelated one.
void add_devices(Tree& tree, std::size_t devnodes) {
  tree.windows.record_call_log = false;
  std::vector<DevInst> added;
  for (std::size_t i = 0; i < devnodes; ++i) {
    sim::Device device;
    device.instance_id = numbered(u"PCI\\VEN_8086&DEV_A0C8&SUBSYS_00000000&REV_10\\3&11583659&0&", i);
    device.hardware_ids = {numbered(u"PCI\\VEN_8086&DEV_A0C8&SUBSYS_0000&REV_", i % 100), u"PCI\\VEN_8086&DEV_A0C8"};
    if (i == devnodes - 1) device.hardware_ids = {u"VBAudioVACWDM"};
    if (i == devnodes - 2) device.hardware_ids = {u"VBAudioHFVAIO"};
    if (i > 0) device.parent = added[(i - 1) / FAN_OUT];
    added.push_back(tree.windows.add_device(std::move(device)));
  }
  tree.vb_cable = added[devnodes - 1];
  tree.hifi_cable = added[devnodes - 2];
  tree.other_adapter = added[devnodes - 3];
}

// Half the endpoints below VB-CABLE, a quarter each below Hi-Fi Cable and the other adapter;
// half of each group capture, half render.
void add_endpoints(Tree& tree, std::size_t count) {
  std::vector<EndpointInfo> capture;
  std::vector<EndpointInfo> render;
  for (std::size_t i = 0; i < count; ++i) {
    const DevInst parent = i % 2 == 0 ? tree.vb_cable : (i % 4 == 1 ? tree.hifi_cable : tree.other_adapter);
    const bool is_render = (i / 4) % 2 == 1;
    const std::string id = (is_render ? "{0.0.0.00000000}.{" : "{0.0.1.00000000}.{") + decimal(i) +
                           "-6a1f-4000-8000-00000000c0de}";
    tree.windows.add_endpoint(utf8_to_utf16(id), parent);
    EndpointInfo info;
    info.id = id;
    info.default_rate = 48000;
    info.channels = 2;
    info.direction = is_render ? EndpointDirection::Render : EndpointDirection::Capture;
    (is_render ? render : capture).push_back(std::move(info));
  }
  tree.endpoints = std::move(capture);
  tree.endpoints.insert(tree.endpoints.end(), render.begin(), render.end());
}

// Seconds per unit of `units`, where the benchmark's argument is the number of units.
benchmark::Counter per_unit(double units) {
  return benchmark::Counter(units, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Collects the two cable devices of a tree of `state.range(0)` devnodes, per iteration.
void time_collection(benchmark::State& state, ConfigManager& config) {
  for (auto _ : state) {
    auto devices = collect_driver_devices(config);
    if (!devices || devices->size() != 2) state.SkipWithError("collection failed");
    benchmark::DoNotOptimize(devices);
  }
  state.SetComplexityN(state.range(0));
  state.counters["per_devnode"] = per_unit(static_cast<double>(state.range(0)));
}

// Classifies both cables over `endpoints`, `state.range(0)` of them, per iteration.
void time_classification(benchmark::State& state, ConfigManager& config, EndpointProperties& com,
                         const std::vector<EndpointInfo>& endpoints) {
  const auto devices = collect_driver_devices(config);
  if (!devices) {
    state.SkipWithError("collection failed");
    return;
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(classify_cable(config, com, VB_CABLE_HARDWARE_ID, *devices, endpoints));
    benchmark::DoNotOptimize(classify_cable(config, com, HIFI_CABLE_HARDWARE_ID, *devices, endpoints));
  }
  state.SetComplexityN(state.range(0));
  state.counters["per_endpoint"] = per_unit(static_cast<double>(state.range(0)));
}

void BM_CollectDriverDevices(benchmark::State& state) {
  Tree tree;
  add_devices(tree, static_cast<std::size_t>(state.range(0)));
  time_collection(state, tree.windows);
}
BENCHMARK(BM_CollectDriverDevices)->Arg(50)->Arg(500)->Arg(5000)->Complexity();

void BM_ClassifyCables(benchmark::State& state) {
  Tree tree;
  add_devices(tree, 500);
  add_endpoints(tree, static_cast<std::size_t>(state.range(0)));
  time_classification(state, tree.windows, tree.windows, tree.endpoints);
}
BENCHMARK(BM_ClassifyCables)->RangeMultiplier(10)->Range(10, 1000)->Complexity();

void BM_DetectCableEndpoints(benchmark::State& state) {
  Tree tree;
  add_devices(tree, static_cast<std::size_t>(state.range(0)));
  add_endpoints(tree, static_cast<std::size_t>(state.range(1)));
  const EndpointLister list = [&]() -> std::expected<std::vector<EndpointInfo>, std::string> { return tree.endpoints; };
  for (auto _ : state) {
    auto report = detect_cable_endpoints(tree.windows, tree.windows, list);
    if (!report) state.SkipWithError("detection failed");
    benchmark::DoNotOptimize(report);
  }
  state.counters["per_node"] = per_unit(static_cast<double>(state.range(0) + state.range(1)));
}
BENCHMARK(BM_DetectCableEndpoints)->ArgsProduct({{50, 500, 5000}, {10, 100, 1000}});

// The same shapes of tree behind a configuration manager and property store that answer in
// constant time without allocating, so that what is measured is detection's own work.
class FlatTree final : public ConfigManager, public EndpointProperties {
 public:
  FlatTree(std::size_t devnodes, std::size_t endpoints) {
    for (std::size_t i = 0; i < devnodes; ++i) {
      const std::u16string id = numbered(u"PCI\\VEN_8086&DEV_A0C8&SUBSYS_00000000&REV_10\\3&11583659&0&", i);
      add(id, i == 0 ? std::nullopt : std::optional(static_cast<DevInst>((i - 1) / FAN_OUT)),
          i == devnodes - 1   ? sim::multi_string({u"VBAudioVACWDM"})
          : i == devnodes - 2 ? sim::multi_string({u"VBAudioHFVAIO"})
                              : sim::multi_string({numbered(u"PCI\\VEN_8086&DEV_A0C8&SUBSYS_0000&REV_", i % 100),
                                                   u"PCI\\VEN_8086&DEV_A0C8"}));
    }
    const auto vb = static_cast<DevInst>(devnodes - 1);
    const auto hifi = static_cast<DevInst>(devnodes - 2);
    const auto other = static_cast<DevInst>(devnodes - 3);
    std::vector<EndpointInfo> render;
    for (std::size_t i = 0; i < endpoints; ++i) {
      const bool is_render = (i / 4) % 2 == 1;
      EndpointInfo info;
      info.id = (is_render ? "{0.0.0.00000000}.{" : "{0.0.1.00000000}.{") + decimal(parents_.size()) + "}";
      info.default_rate = 48000;
      info.channels = 2;
      info.direction = is_render ? EndpointDirection::Render : EndpointDirection::Capture;
      add(u"SWD\\MMDEVAPI\\" + utf8_to_utf16(info.id), i % 2 == 0 ? vb : (i % 4 == 1 ? hifi : other), u"");
      (is_render ? render : endpoint_list).push_back(std::move(info));
    }
    endpoint_list.insert(endpoint_list.end(), render.begin(), render.end());
    id_list_.push_back(u'\0');
  }
  std::vector<EndpointInfo> endpoint_list;

  ConfigRet get_device_id_list_size(std::uint32_t& length, const char16_t*, std::uint32_t) override {
    length = static_cast<std::uint32_t>(id_list_.size());
    return CR_SUCCESS_CODE;
  }
  ConfigRet get_device_id_list(const char16_t*, std::span<char16_t> buffer, std::uint32_t) override {
    std::copy(id_list_.begin(), id_list_.end(), buffer.begin());
    return CR_SUCCESS_CODE;
  }
  ConfigRet locate_devnode(DevInst& devinst, const char16_t* device_id, std::uint32_t) override {
    devinst = trailing_number(device_id);
    return CR_SUCCESS_CODE;
  }
  ConfigRet get_devnode_registry_property(DevInst devinst, std::uint32_t, std::span<std::byte> buffer,
                                          std::uint32_t) override {
    const std::u16string& ids = hardware_ids_[devinst];
    if (ids.empty()) return 0x25;  // CR_NO_SUCH_VALUE
    std::memcpy(buffer.data(), ids.data(), ids.size() * sizeof(char16_t));
    return CR_SUCCESS_CODE;
  }
  ConfigRet get_devnode_status(std::uint32_t& status, std::uint32_t& problem, DevInst, std::uint32_t) override {
    status = DN_STARTED_BIT;
    problem = 0;
    return CR_SUCCESS_CODE;
  }
  ConfigRet get_parent(DevInst& parent, DevInst devinst, std::uint32_t) override {
    if (!parents_[devinst]) return 0x0D;  // CR_NO_SUCH_DEVNODE
    parent = *parents_[devinst];
    return CR_SUCCESS_CODE;
  }

  HResult co_initialize_multithreaded() override { return 0; }
  void co_uninitialize() override {}
  HResult create_device_enumerator(ComRaw& enumerator) override { return handout(enumerator); }
  HResult get_device(ComRaw, const char16_t*, ComRaw& device) override { return handout(device); }
  HResult open_property_store(ComRaw, std::uint32_t, ComRaw& store) override { return handout(store); }
  HResult get_form_factor_value(ComRaw, PropVariantRaw& value) override { return handout(value); }
  HResult prop_variant_to_uint32(PropVariantRaw, std::uint32_t& out) override {
    out = FORM_FACTOR_SPEAKERS;
    return 0;
  }
  void prop_variant_clear(PropVariantRaw) override {}
  void release(ComRaw) override {}

 private:
  // Every instance id ends in its devnode's number, which is how locate_devnode finds it.
  void add(std::u16string_view instance_id, std::optional<DevInst> parent, std::u16string hardware_ids) {
    id_list_ += instance_id;
    id_list_.push_back(u'\0');
    parents_.push_back(parent);
    hardware_ids_.push_back(std::move(hardware_ids));
  }
  static DevInst trailing_number(const char16_t* text) {
    std::u16string_view id(text);
    if (id.ends_with(u'}')) id.remove_suffix(1);
    DevInst number = 0;
    DevInst scale = 1;
    while (!id.empty() && id.back() >= u'0' && id.back() <= u'9') {
      number += static_cast<DevInst>(id.back() - u'0') * scale;
      scale *= 10;
      id.remove_suffix(1);
    }
    return number;
  }
  HResult handout(void*& out) {
    out = &handed_out_;
    return 0;
  }
  std::u16string id_list_;
  std::vector<std::optional<DevInst>> parents_;
  std::vector<std::u16string> hardware_ids_;
  int handed_out_ = 0;
};

void BM_CollectOwnCost(benchmark::State& state) {
  FlatTree tree(static_cast<std::size_t>(state.range(0)), 0);
  time_collection(state, tree);
}
BENCHMARK(BM_CollectOwnCost)->Arg(50)->Arg(500)->Arg(5000)->Complexity();

void BM_ClassifyOwnCost(benchmark::State& state) {
  FlatTree tree(500, static_cast<std::size_t>(state.range(0)));
  time_classification(state, tree, tree, tree.endpoint_list);
}
BENCHMARK(BM_ClassifyOwnCost)->RangeMultiplier(10)->Range(10, 1000)->Complexity();

}  // namespace
}  // namespace orvane
