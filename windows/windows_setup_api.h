// SetupAPI (setupapi.dll) and the driver update of newdev.dll.
#pragma once

#include "platform/setup_api.h"

namespace orvane::windows {

class WindowsSetupApi final : public SetupApi {
 public:
  WinResult<void> get_inf_class(const char16_t* inf_path, Guid& class_guid,
                                std::span<char16_t, CLASS_NAME_UNITS> class_name) override;
  WinResult<DevInfoRaw> get_class_devs(const Guid& class_guid, std::uint32_t flags) override;
  WinResult<void> enum_device_info(DevInfoRaw list, std::uint32_t index, DeviceElement& element) override;
  WinResult<void> get_device_registry_property(DevInfoRaw list, const DeviceElement& element, std::uint32_t property,
                                               std::span<std::byte> buffer) override;
  WinResult<DevInfoRaw> create_device_info_list(const Guid& class_guid) override;
  WinResult<void> create_device_info(DevInfoRaw list, const char16_t* device_name, const Guid& class_guid,
                                     std::uint32_t flags, DeviceElement& element) override;
  WinResult<void> set_device_registry_property(DevInfoRaw list, const DeviceElement& element, std::uint32_t property,
                                               std::span<const std::byte> value) override;
  WinResult<void> call_class_installer(std::uint32_t function, DevInfoRaw list, const DeviceElement& element) override;
  WinResult<void> update_driver_for_plug_and_play_devices(const char16_t* hardware_id, const char16_t* inf_path,
                                                         std::uint32_t flags, std::int32_t& reboot) override;
  void destroy_device_info_list(DevInfoRaw list) override;
};

}  // namespace orvane::windows
