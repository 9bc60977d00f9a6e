// The run sequence of the setup command and the mapping of its result to the exit status.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "detect/detection.h"
#include "detect/detection_report.h"
#include "platform/platform.h"
#include "setup/driver_package.h"
#include "setup/setup_error.h"

namespace orvane {

inline constexpr std::string_view ERROR_LINE_PREFIX = "ORVANE_DRIVER_SETUP ";
inline constexpr std::uint32_t EXIT_SUCCESS_STATUS = 0;
inline constexpr std::uint32_t EXIT_REBOOT_REQUIRED_STATUS = 3010;  // ERROR_SUCCESS_REBOOT_REQUIRED
inline constexpr std::uint32_t EXIT_FAILURE_STATUS = 1;

/// The full path of the running executable, however long.
SetupResult<std::u16string> executable_path(Process& process);

/// The executable's folder; a drive root keeps its backslash.
SetupResult<std::u16string> application_folder(std::u16string_view executable);

/// The application folder joined with "drivers/vbcable", its forward slash kept.
std::u16string driver_package_folder(std::u16string_view application_folder);

/// What the run does with the VB-CABLE status; `install` runs only for NotInstalled.
SetupResult<RebootRequired> act_on_cable_status(const CableStatus& vb_cable,
                                                const std::function<SetupResult<RebootRequired>()>& install);

/// Argument check, package folder, package check, detection, then the decision on VB-CABLE.
/// Tests hand in the manifest of their own package; the program uses the built-in one.
SetupResult<RebootRequired> run_driver_setup(Platform& platform, const EndpointLister& list_endpoints,
                                             std::string_view manifest_text = DRIVER_PACKAGE_MANIFEST);

/// "ORVANE_DRIVER_SETUP " + message + "\n".
std::string error_line(const SetupError& error);

/// 0, 3010 or 1.
std::uint32_t exit_status(const SetupResult<RebootRequired>& result);

/// Writes the error line of a failed run and returns the exit status.
std::uint32_t finish_run(Process& process, const SetupResult<RebootRequired>& result);

}  // namespace orvane
