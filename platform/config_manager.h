// The configuration-manager (cfgmgr32) calls of detection and the health test.
#pragma once

#include <cstdint>
#include <span>

#include "platform/windows_types.h"

namespace orvane {

constexpr std::uint32_t CM_GETIDLIST_FILTER_PRESENT_FLAG = 0x00000100;
constexpr std::uint32_t CM_LOCATE_DEVNODE_NORMAL_FLAG = 0;
constexpr std::uint32_t CM_DRP_HARDWAREID_PROPERTY = 2;
constexpr std::uint32_t DN_STARTED_BIT = 0x00000008;
constexpr std::uint32_t DN_NEED_RESTART_BIT = 0x00000100;
constexpr std::uint32_t CM_PROB_NEED_RESTART_CODE = 14;

/// cfgmgr32.dll. Each method makes exactly the call it is named after and returns its CONFIGRET;
/// outputs are passed to Windows as they come in, so the caller decides their initial values.
class ConfigManager {
 public:
  virtual ~ConfigManager() = default;

  /// CM_Get_Device_ID_List_SizeW(&length, filter, flags).
  virtual ConfigRet get_device_id_list_size(std::uint32_t& length, const char16_t* filter, std::uint32_t flags) = 0;
  /// CM_Get_Device_ID_ListW(filter, buffer, buffer.size(), flags).
  virtual ConfigRet get_device_id_list(const char16_t* filter, std::span<char16_t> buffer, std::uint32_t flags) = 0;
  /// CM_Locate_DevNodeW(&devinst, id, flags).
  virtual ConfigRet locate_devnode(DevInst& devinst, const char16_t* device_id, std::uint32_t flags) = 0;
  /// CM_Get_DevNode_Registry_PropertyW(devinst, property, nullptr, buffer, &size, flags).
  virtual ConfigRet get_devnode_registry_property(DevInst devinst, std::uint32_t property, std::span<std::byte> buffer,
                                                  std::uint32_t flags) = 0;
  /// CM_Get_DevNode_Status(&status, &problem, devinst, flags).
  virtual ConfigRet get_devnode_status(std::uint32_t& status, std::uint32_t& problem, DevInst devinst,
                                       std::uint32_t flags) = 0;
  /// CM_Get_Parent(&parent, devinst, flags).
  virtual ConfigRet get_parent(DevInst& parent, DevInst devinst, std::uint32_t flags) = 0;
};

/// Whether the devnode's status can be read and shows it started with no problem number.
inline bool devnode_started_without_problem(ConfigManager& config, DevInst devinst) {
  std::uint32_t status = 0;
  std::uint32_t problem = 0;
  return config.get_devnode_status(status, problem, devinst, 0) == CR_SUCCESS_CODE && problem == 0 &&
         (status & DN_STARTED_BIT) != 0;
}

}  // namespace orvane
