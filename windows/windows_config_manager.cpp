#include "windows/windows_config_manager.h"

#include <algorithm>
#include <limits>

#include "windows/win32.h"
// After windows.h:
#include <cfgmgr32.h>

namespace orvane::windows {
namespace {

static_assert(sizeof(DevInst) == sizeof(DEVINST));

ULONG clamped_length(std::size_t size) {
  return static_cast<ULONG>(std::min<std::size_t>(size, std::numeric_limits<ULONG>::max()));
}

}  // namespace

// The configuration manager reports through its CONFIGRET alone; it sets no last error.

ConfigRet WindowsConfigManager::get_device_id_list_size(std::uint32_t& length, const char16_t* filter,
                                                        std::uint32_t flags) {
  ULONG size = length;
  const CONFIGRET result = CM_Get_Device_ID_List_SizeW(&size, wide(filter), flags);
  length = size;
  return result;
}

ConfigRet WindowsConfigManager::get_device_id_list(const char16_t* filter, std::span<char16_t> buffer,
                                                   std::uint32_t flags) {
  return CM_Get_Device_ID_ListW(wide(filter), wide(buffer.data()), clamped_length(buffer.size()), flags);
}

ConfigRet WindowsConfigManager::locate_devnode(DevInst& devinst, const char16_t* device_id, std::uint32_t flags) {
  DEVINST located = devinst;
  // The declaration takes a non-const pointer; Windows only reads the ID.
  const CONFIGRET result = CM_Locate_DevNodeW(&located, const_cast<wchar_t*>(wide(device_id)), flags);
  devinst = located;
  return result;
}

ConfigRet WindowsConfigManager::get_devnode_registry_property(DevInst devinst, std::uint32_t property,
                                                              std::span<std::byte> buffer, std::uint32_t flags) {
  ULONG size = clamped_length(buffer.size());
  return CM_Get_DevNode_Registry_PropertyW(devinst, property, nullptr, buffer.data(), &size, flags);
}

ConfigRet WindowsConfigManager::get_devnode_status(std::uint32_t& status, std::uint32_t& problem, DevInst devinst,
                                                   std::uint32_t flags) {
  ULONG node_status = status;
  ULONG problem_number = problem;
  const CONFIGRET result = CM_Get_DevNode_Status(&node_status, &problem_number, devinst, flags);
  status = node_status;
  problem = problem_number;
  return result;
}

ConfigRet WindowsConfigManager::get_parent(DevInst& parent, DevInst devinst, std::uint32_t flags) {
  DEVINST found = parent;
  const CONFIGRET result = CM_Get_Parent(&found, devinst, flags);
  parent = found;
  return result;
}

}  // namespace orvane::windows
