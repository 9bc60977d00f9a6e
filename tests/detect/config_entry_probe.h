// A configuration manager that forwards to the simulation and notes what each call was handed.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

#include "tests/sim/sim_windows.h"

namespace orvane::test {

// What the code hands to Windows, seen at entry. Windows writes only what it has (and Wine's
// status stub writes nothing), so outputs must be cleared before each call.
class ConfigEntryProbe final : public ConfigManager {
 public:
  explicit ConfigEntryProbe(sim::SimWindows& windows) : windows_(windows) {}
  std::vector<std::size_t> property_sizes;
  bool property_buffers_clear = true;
  bool status_outputs_clear = true;

  ConfigRet get_device_id_list_size(std::uint32_t& length, const char16_t* filter, std::uint32_t flags) override {
    return windows_.get_device_id_list_size(length, filter, flags);
  }
  ConfigRet get_device_id_list(const char16_t* filter, std::span<char16_t> buffer, std::uint32_t flags) override {
    return windows_.get_device_id_list(filter, buffer, flags);
  }
  ConfigRet locate_devnode(DevInst& devinst, const char16_t* device_id, std::uint32_t flags) override {
    return windows_.locate_devnode(devinst, device_id, flags);
  }
  ConfigRet get_devnode_registry_property(DevInst devinst, std::uint32_t property, std::span<std::byte> buffer,
                                          std::uint32_t flags) override {
    property_sizes.push_back(buffer.size());
    property_buffers_clear &= std::all_of(buffer.begin(), buffer.end(), [](std::byte b) { return b == std::byte{0}; });
    return windows_.get_devnode_registry_property(devinst, property, buffer, flags);
  }
  ConfigRet get_devnode_status(std::uint32_t& status, std::uint32_t& problem, DevInst devinst,
                               std::uint32_t flags) override {
    status_outputs_clear &= status == 0 && problem == 0;
    return windows_.get_devnode_status(status, problem, devinst, flags);
  }
  ConfigRet get_parent(DevInst& parent, DevInst devinst, std::uint32_t flags) override {
    return windows_.get_parent(parent, devinst, flags);
  }

 private:
  sim::SimWindows& windows_;
};

}  // namespace orvane::test
