#include "windows/windows_config_manager.h"

#include "windows/system_library.h"
#include "windows/win32.h"
// After windows.h:
#include <cfgmgr32.h>

namespace orvane::windows {
namespace {

static_assert(sizeof(DevInst) == sizeof(DEVINST));

// cfgmgr32.dll is no KnownDLL: it is loaded from System32 on first use, for the whole process.
struct ConfigManagerFunctions {
  ConfigManagerFunctions() {
    library.find(get_device_id_list_size, "CM_Get_Device_ID_List_SizeW")
        .find(get_device_id_list, "CM_Get_Device_ID_ListW")
        .find(locate_devnode, "CM_Locate_DevNodeW")
        .find(get_devnode_registry_property, "CM_Get_DevNode_Registry_PropertyW")
        .find(get_devnode_status, "CM_Get_DevNode_Status")
        .find(get_parent, "CM_Get_Parent");
  }
  SystemLibrary library{L"cfgmgr32.dll"};
  decltype(CM_Get_Device_ID_List_SizeW)* get_device_id_list_size = nullptr;
  decltype(CM_Get_Device_ID_ListW)* get_device_id_list = nullptr;
  decltype(CM_Locate_DevNodeW)* locate_devnode = nullptr;
  decltype(CM_Get_DevNode_Registry_PropertyW)* get_devnode_registry_property = nullptr;
  decltype(CM_Get_DevNode_Status)* get_devnode_status = nullptr;
  decltype(CM_Get_Parent)* get_parent = nullptr;
};

// The configuration manager has no last error to report: without its DLL, each call fails
// as a call Windows does not provide.
const ConfigManagerFunctions* cfgmgr32() {
  static const ConfigManagerFunctions functions;
  return functions.library.status() ? &functions : nullptr;
}

}  // namespace

// The configuration manager reports through its CONFIGRET alone; it sets no last error.

ConfigRet WindowsConfigManager::get_device_id_list_size(std::uint32_t& length, const char16_t* filter,
                                                        std::uint32_t flags) {
  const auto* cm = cfgmgr32();
  if (cm == nullptr) return CR_CALL_NOT_IMPLEMENTED;
  ULONG size = length;
  const CONFIGRET result = cm->get_device_id_list_size(&size, wide(filter), flags);
  length = size;
  return result;
}

ConfigRet WindowsConfigManager::get_device_id_list(const char16_t* filter, std::span<char16_t> buffer,
                                                   std::uint32_t flags) {
  const auto* cm = cfgmgr32();
  if (cm == nullptr) return CR_CALL_NOT_IMPLEMENTED;
  return cm->get_device_id_list(wide(filter), wide(buffer.data()), clamped_length(buffer.size()), flags);
}

ConfigRet WindowsConfigManager::locate_devnode(DevInst& devinst, const char16_t* device_id, std::uint32_t flags) {
  const auto* cm = cfgmgr32();
  if (cm == nullptr) return CR_CALL_NOT_IMPLEMENTED;
  DEVINST located = devinst;
  // The declaration takes a non-const pointer; Windows only reads the ID.
  const CONFIGRET result = cm->locate_devnode(&located, const_cast<wchar_t*>(wide(device_id)), flags);
  devinst = located;
  return result;
}

ConfigRet WindowsConfigManager::get_devnode_registry_property(DevInst devinst, std::uint32_t property,
                                                              std::span<std::byte> buffer, std::uint32_t flags) {
  const auto* cm = cfgmgr32();
  if (cm == nullptr) return CR_CALL_NOT_IMPLEMENTED;
  ULONG size = clamped_length(buffer.size());
  return cm->get_devnode_registry_property(devinst, property, nullptr, buffer.data(), &size, flags);
}

ConfigRet WindowsConfigManager::get_devnode_status(std::uint32_t& status, std::uint32_t& problem, DevInst devinst,
                                                   std::uint32_t flags) {
  const auto* cm = cfgmgr32();
  if (cm == nullptr) return CR_CALL_NOT_IMPLEMENTED;
  ULONG node_status = status;
  ULONG problem_number = problem;
  const CONFIGRET result = cm->get_devnode_status(&node_status, &problem_number, devinst, flags);
  status = node_status;
  problem = problem_number;
  return result;
}

ConfigRet WindowsConfigManager::get_parent(DevInst& parent, DevInst devinst, std::uint32_t flags) {
  const auto* cm = cfgmgr32();
  if (cm == nullptr) return CR_CALL_NOT_IMPLEMENTED;
  DEVINST found = parent;
  const CONFIGRET result = cm->get_parent(&found, devinst, flags);
  parent = found;
  return result;
}

}  // namespace orvane::windows
