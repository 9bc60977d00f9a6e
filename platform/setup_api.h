// The SetupAPI and driver-installation calls the installation makes, one method per Windows call.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "platform/unique_resource.h"
#include "platform/windows_types.h"

namespace orvane {

/// HDEVINFO as an integer; the adapter never hands out INVALID_HANDLE_VALUE.
using DevInfoRaw = std::uintptr_t;

/// Layout of SP_DEVINFO_DATA (32 bytes in 64-bit builds). Every field goes back to Windows
/// unchanged, since SetupAPI finds the element again through `reserved`.
struct DeviceElement {
  std::uint32_t cb_size = sizeof(DeviceElement);  // SetupAPI refuses an element without it
  Guid class_guid{};
  DevInst dev_inst = 0;
  std::uintptr_t reserved = 0;
};

constexpr std::size_t CLASS_NAME_UNITS = 128;  // MAX_CLASS_NAME_LEN
constexpr std::size_t HARDWARE_ID_BUFFER_BYTES = 4096;
constexpr std::size_t HARDWARE_ID_BUFFER_UNITS = HARDWARE_ID_BUFFER_BYTES / 2;

constexpr std::uint32_t DIGCF_PRESENT_FLAG = 0x00000002;
constexpr std::uint32_t DICD_GENERATE_ID_FLAG = 0x00000001;
constexpr std::uint32_t SPDRP_HARDWAREID_PROPERTY = 1;
constexpr std::uint32_t DIF_REGISTERDEVICE_CODE = 0x19;
constexpr std::uint32_t DIF_REMOVE_CODE = 0x5;

/// SetupAPI (setupapi.dll) and UpdateDriverForPlugAndPlayDevicesW (newdev.dll). Each method makes
/// exactly the Windows call it is named after; on failure it returns the GetLastError code read
/// right after that call. Strings passed in are NUL-terminated UTF-16.
class SetupApi {
 public:
  virtual ~SetupApi() = default;

  /// SetupDiGetINFClassW(inf, &guid, class_name, 128, nullptr).
  virtual WinResult<void> get_inf_class(const char16_t* inf_path, Guid& class_guid,
                                        std::span<char16_t, CLASS_NAME_UNITS> class_name) = 0;
  /// SetupDiGetClassDevsW(&guid, nullptr, nullptr, flags).
  virtual WinResult<DevInfoRaw> get_class_devs(const Guid& class_guid, std::uint32_t flags) = 0;
  /// SetupDiEnumDeviceInfo(list, index, &element); `element` comes in cleared.
  virtual WinResult<void> enum_device_info(DevInfoRaw list, std::uint32_t index, DeviceElement& element) = 0;
  /// SetupDiGetDeviceRegistryPropertyW(list, &element, property, nullptr, buffer, size, nullptr).
  virtual WinResult<void> get_device_registry_property(DevInfoRaw list, const DeviceElement& element,
                                                      std::uint32_t property, std::span<std::byte> buffer) = 0;
  /// SetupDiCreateDeviceInfoList(&guid, nullptr).
  virtual WinResult<DevInfoRaw> create_device_info_list(const Guid& class_guid) = 0;
  /// SetupDiCreateDeviceInfoW(list, name, &guid, nullptr, nullptr, flags, &element).
  virtual WinResult<void> create_device_info(DevInfoRaw list, const char16_t* device_name, const Guid& class_guid,
                                             std::uint32_t flags, DeviceElement& element) = 0;
  /// SetupDiSetDeviceRegistryPropertyW(list, &element, property, bytes, size).
  virtual WinResult<void> set_device_registry_property(DevInfoRaw list, const DeviceElement& element,
                                                      std::uint32_t property, std::span<const std::byte> value) = 0;
  /// SetupDiCallClassInstaller(function, list, &element).
  virtual WinResult<void> call_class_installer(std::uint32_t function, DevInfoRaw list,
                                               const DeviceElement& element) = 0;
  /// UpdateDriverForPlugAndPlayDevicesW(nullptr, hardware_id, inf, flags, &reboot); `reboot` is
  /// handed to Windows as it comes in.
  virtual WinResult<void> update_driver_for_plug_and_play_devices(const char16_t* hardware_id,
                                                                 const char16_t* inf_path, std::uint32_t flags,
                                                                 std::int32_t& reboot) = 0;
  /// SetupDiDestroyDeviceInfoList; its result is not looked at.
  virtual void destroy_device_info_list(DevInfoRaw list) = 0;
};

using DeviceInfoList = UniqueResource<SetupApi, DevInfoRaw, &SetupApi::destroy_device_info_list>;

}  // namespace orvane
