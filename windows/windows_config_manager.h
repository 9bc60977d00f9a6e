// The configuration manager of Windows (cfgmgr32.dll).
#pragma once

#include "platform/config_manager.h"

namespace orvane::windows {

class WindowsConfigManager final : public ConfigManager {
 public:
  ConfigRet get_device_id_list_size(std::uint32_t& length, const char16_t* filter, std::uint32_t flags) override;
  ConfigRet get_device_id_list(const char16_t* filter, std::span<char16_t> buffer, std::uint32_t flags) override;
  ConfigRet locate_devnode(DevInst& devinst, const char16_t* device_id, std::uint32_t flags) override;
  ConfigRet get_devnode_registry_property(DevInst devinst, std::uint32_t property, std::span<std::byte> buffer,
                                          std::uint32_t flags) override;
  ConfigRet get_devnode_status(std::uint32_t& status, std::uint32_t& problem, DevInst devinst,
                               std::uint32_t flags) override;
  ConfigRet get_parent(DevInst& parent, DevInst devinst, std::uint32_t flags) override;
};

}  // namespace orvane::windows
