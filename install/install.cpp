#include "install/install.h"

#include <cstdint>
#include <span>

namespace orvane {
namespace {

// Gives the element of the cable list its id and registers it; until registration succeeds the
// element lives only in the list and goes away with it, so nothing needs removing.
SetupResult<void> register_new_device(SetupApi& setup, DevInfoRaw list, const DeviceElement& element,
                                      std::u16string_view hardware_id) {
  const std::u16string ids = hardware_id_multi_string(hardware_id);
  if (auto set = setup.set_device_registry_property(list, element, SPDRP_HARDWAREID_PROPERTY,
                                                    std::as_bytes(std::span(ids.data(), ids.size())));
      !set) {
    return std::unexpected(windows_step_error("set cable hardware identity", set.error()));
  }
  if (auto registered = setup.call_class_installer(DIF_REGISTERDEVICE_CODE, list, element); !registered) {
    return std::unexpected(windows_step_error("register cable device", registered.error()));
  }
  return {};
}

// The update's own code is kept before the removal, which would otherwise overwrite it.
SetupResult<RebootRequired> install_driver_on_new_device(SetupApi& setup, DevInfoRaw list,
                                                         const DeviceElement& element, const std::u16string& inf_path,
                                                         std::u16string_view hardware_id) {
  const std::u16string id(hardware_id);
  std::int32_t reboot = 0;
  const auto updated = setup.update_driver_for_plug_and_play_devices(id.c_str(), inf_path.c_str(), 0, reboot);
  if (updated) return reboot != 0;
  const WindowsError update_error = updated.error();
  (void)setup.call_class_installer(DIF_REMOVE_CODE, list, element);
  return std::unexpected(windows_step_error("install signed cable", update_error));
}

}  // namespace

std::u16string hardware_id_multi_string(std::u16string_view hardware_id) {
  std::u16string units(hardware_id);
  units.push_back(u'\0');
  units.push_back(u'\0');
  return units;
}

SetupResult<RebootRequired> create_and_install_cable_device(SetupApi& setup, const std::u16string& inf_path,
                                                            const InfClass& inf_class,
                                                            std::u16string_view hardware_id) {
  const auto created_list = setup.create_device_info_list(inf_class.class_guid);
  if (!created_list) return std::unexpected(windows_step_error("create device list", created_list.error()));
  const DeviceInfoList cable_list(setup, *created_list);

  DeviceElement element{};
  if (auto created = setup.create_device_info(cable_list.get(), inf_class.class_name.data(), inf_class.class_guid,
                                              DICD_GENERATE_ID_FLAG, element);
      !created) {
    return std::unexpected(windows_step_error("create cable device", created.error()));
  }
  if (auto registered = register_new_device(setup, cable_list.get(), element, hardware_id); !registered) {
    return std::unexpected(registered.error());
  }
  return install_driver_on_new_device(setup, cable_list.get(), element, inf_path, hardware_id);
}

SetupResult<RebootRequired> install_cable_driver(SetupApi& setup, ConfigManager& config,
                                                 std::u16string_view package_folder) {
  const std::u16string inf_path = cable_inf_path(package_folder);
  const auto inf_class = read_inf_class(setup, inf_path);
  if (!inf_class) return std::unexpected(inf_class.error());

  // Declared before anything the creation opens, so it is released last.
  const auto class_list = open_class_device_list(setup, inf_class->class_guid);
  if (!class_list) return std::unexpected(class_list.error());

  const auto existing = check_existing_cable_device(setup, config, class_list->get());
  if (!existing) return std::unexpected(existing.error());
  if (*existing == ExistingCableDevice::Healthy) return false;
  return create_and_install_cable_device(setup, inf_path, *inf_class, CABLE_HARDWARE_ID);
}

}  // namespace orvane
