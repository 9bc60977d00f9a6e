// Installation of the cable device: the existing-device check, creation, registration, driver.
#pragma once

#include <string>
#include <string_view>

#include "install/cable_device.h"
#include "platform/config_manager.h"
#include "platform/setup_api.h"
#include "setup/setup_error.h"

namespace orvane {

/// Creates, registers and installs a cable device unless a device of the INF's class already
/// carries the cable hardware id; true when Windows asks for a restart.
SetupResult<RebootRequired> install_cable_driver(SetupApi& setup, ConfigManager& config,
                                                 std::u16string_view package_folder);

/// A new root-enumerated device of the INF's class with `hardware_id`, registered and given the
/// INF's driver; removed again when the driver update fails. True when Windows asks for a restart.
SetupResult<RebootRequired> create_and_install_cable_device(SetupApi& setup, const std::u16string& inf_path,
                                                            const InfClass& inf_class,
                                                            std::u16string_view hardware_id);

/// The REG_MULTI_SZ form of one hardware id: the id, then two NULs.
std::u16string hardware_id_multi_string(std::u16string_view hardware_id);

}  // namespace orvane
