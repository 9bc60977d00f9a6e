#include "windows/windows_setup_api.h"

#include <cstddef>

#include "windows/system_library.h"
#include "windows/win32.h"
// After windows.h:
#include <newdev.h>
#include <setupapi.h>

namespace orvane::windows {
namespace {

// setupapi.dll is a KnownDLL and imported; newdev.dll is not, so it is loaded from System32 on
// first use, for the whole process.
struct NewDevFunctions {
  NewDevFunctions() { library.find(update_driver_for_plug_and_play_devices, "UpdateDriverForPlugAndPlayDevicesW"); }
  SystemLibrary library{L"newdev.dll"};
  decltype(UpdateDriverForPlugAndPlayDevicesW)* update_driver_for_plug_and_play_devices = nullptr;
};

const NewDevFunctions& newdev() {
  static const NewDevFunctions functions;
  return functions;
}

// SetupAPI finds an element again through its Reserved field, so every field makes the trip.
static_assert(sizeof(SP_DEVINFO_DATA) == 32 && sizeof(DeviceElement) == 32);
static_assert(offsetof(SP_DEVINFO_DATA, cbSize) == offsetof(DeviceElement, cb_size));
static_assert(offsetof(SP_DEVINFO_DATA, ClassGuid) == offsetof(DeviceElement, class_guid));
static_assert(offsetof(SP_DEVINFO_DATA, DevInst) == offsetof(DeviceElement, dev_inst));
static_assert(offsetof(SP_DEVINFO_DATA, Reserved) == offsetof(DeviceElement, reserved));
static_assert(sizeof(DevInfoRaw) == sizeof(HDEVINFO));

SP_DEVINFO_DATA to_native(const DeviceElement& element) {
  SP_DEVINFO_DATA native{};
  native.cbSize = element.cb_size;
  native.ClassGuid = windows::to_native(element.class_guid);
  native.DevInst = element.dev_inst;
  native.Reserved = element.reserved;
  return native;
}

DeviceElement from_native(const SP_DEVINFO_DATA& native) {
  DeviceElement element;
  element.cb_size = native.cbSize;
  element.class_guid = windows::from_native(native.ClassGuid);
  element.dev_inst = native.DevInst;
  element.reserved = native.Reserved;
  return element;
}

HDEVINFO native(DevInfoRaw list) { return reinterpret_cast<HDEVINFO>(list); }

WinResult<void> outcome(BOOL ok, WindowsError error) {
  if (ok == 0) return std::unexpected(error);
  return {};
}

WinResult<DevInfoRaw> list_outcome(HDEVINFO list, WindowsError error) {
  if (list == INVALID_HANDLE_VALUE) return std::unexpected(error);
  return reinterpret_cast<DevInfoRaw>(list);
}

}  // namespace

WinResult<void> WindowsSetupApi::get_inf_class(const char16_t* inf_path, Guid& class_guid,
                                               std::span<char16_t, CLASS_NAME_UNITS> class_name) {
  GUID guid = to_native(class_guid);
  const BOOL ok = SetupDiGetINFClassW(wide(inf_path), &guid, wide(class_name.data()),
                                      static_cast<DWORD>(class_name.size()), nullptr);
  const WindowsError error = last_error();
  class_guid = windows::from_native(guid);
  return outcome(ok, error);
}

WinResult<DevInfoRaw> WindowsSetupApi::get_class_devs(const Guid& class_guid, std::uint32_t flags) {
  const GUID guid = to_native(class_guid);
  const HDEVINFO list = SetupDiGetClassDevsW(&guid, nullptr, nullptr, flags);
  const WindowsError error = last_error();
  return list_outcome(list, error);
}

WinResult<void> WindowsSetupApi::enum_device_info(DevInfoRaw list, std::uint32_t index, DeviceElement& element) {
  SP_DEVINFO_DATA data = to_native(element);
  const BOOL ok = SetupDiEnumDeviceInfo(native(list), index, &data);
  const WindowsError error = last_error();
  element = from_native(data);
  return outcome(ok, error);
}

WinResult<void> WindowsSetupApi::get_device_registry_property(DevInfoRaw list, const DeviceElement& element,
                                                              std::uint32_t property, std::span<std::byte> buffer) {
  SP_DEVINFO_DATA data = to_native(element);
  const BOOL ok = SetupDiGetDeviceRegistryPropertyW(native(list), &data, property, nullptr,
                                                    reinterpret_cast<BYTE*>(buffer.data()),
                                                    clamped_length(buffer.size()), nullptr);
  const WindowsError error = last_error();
  return outcome(ok, error);
}

WinResult<DevInfoRaw> WindowsSetupApi::create_device_info_list(const Guid& class_guid) {
  const GUID guid = to_native(class_guid);
  const HDEVINFO list = SetupDiCreateDeviceInfoList(&guid, nullptr);
  const WindowsError error = last_error();
  return list_outcome(list, error);
}

WinResult<void> WindowsSetupApi::create_device_info(DevInfoRaw list, const char16_t* device_name,
                                                    const Guid& class_guid, std::uint32_t flags,
                                                    DeviceElement& element) {
  const GUID guid = to_native(class_guid);
  SP_DEVINFO_DATA data = to_native(element);
  const BOOL ok = SetupDiCreateDeviceInfoW(native(list), wide(device_name), &guid, nullptr, nullptr, flags, &data);
  const WindowsError error = last_error();
  element = from_native(data);
  return outcome(ok, error);
}

WinResult<void> WindowsSetupApi::set_device_registry_property(DevInfoRaw list, const DeviceElement& element,
                                                              std::uint32_t property,
                                                              std::span<const std::byte> value) {
  SP_DEVINFO_DATA data = to_native(element);
  const BOOL ok = SetupDiSetDeviceRegistryPropertyW(native(list), &data, property,
                                                    reinterpret_cast<const BYTE*>(value.data()),
                                                    clamped_length(value.size()));
  const WindowsError error = last_error();
  return outcome(ok, error);
}

WinResult<void> WindowsSetupApi::call_class_installer(std::uint32_t function, DevInfoRaw list,
                                                      const DeviceElement& element) {
  SP_DEVINFO_DATA data = to_native(element);
  const BOOL ok = SetupDiCallClassInstaller(function, native(list), &data);
  const WindowsError error = last_error();
  return outcome(ok, error);
}

WinResult<void> WindowsSetupApi::update_driver_for_plug_and_play_devices(const char16_t* hardware_id,
                                                                        const char16_t* inf_path,
                                                                        std::uint32_t flags, std::int32_t& reboot) {
  const NewDevFunctions& functions = newdev();
  if (const auto loaded = functions.library.status(); !loaded) return std::unexpected(loaded.error());
  BOOL restart = reboot;
  const BOOL ok =
      functions.update_driver_for_plug_and_play_devices(nullptr, wide(hardware_id), wide(inf_path), flags, &restart);
  const WindowsError error = last_error();
  reboot = restart;
  return outcome(ok, error);
}

void WindowsSetupApi::destroy_device_info_list(DevInfoRaw list) { SetupDiDestroyDeviceInfoList(native(list)); }

}  // namespace orvane::windows
