// Installation of the cable device: the existing-device check, creation, registration, driver.
#pragma once

#include <string_view>

#include "platform/config_manager.h"
#include "platform/setup_api.h"
#include "setup/setup_error.h"

namespace orvane {

/// Creates, registers and installs a cable device unless a device of the INF's class already
/// carries the cable hardware id; true when Windows asks for a restart.
SetupResult<RebootRequired> install_cable_driver(SetupApi& setup, ConfigManager& config,
                                                 std::u16string_view package_folder);

}  // namespace orvane
