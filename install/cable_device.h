// The cable INF's setup class and the search for a present cable device of that class.
#pragma once

#include <array>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>

#include "platform/config_manager.h"
#include "platform/setup_api.h"
#include "setup/setup_error.h"

namespace orvane {

/// The only INF of the driver package that is handed to Windows.
inline constexpr std::u16string_view CABLE_INF_FILE = u"vbMmeCable64_win10.inf";

/// The VB-CABLE hardware id, NUL-terminated for the Windows calls (13 characters, 14 units).
inline constexpr char16_t CABLE_HARDWARE_ID[] = u"VBAudioVACWDM";
static_assert(std::size(CABLE_HARDWARE_ID) == 14);

inline constexpr std::string_view UNHEALTHY_CABLE_DEVICE_MESSAGE =
    "Existing VB-CABLE device is not healthy; check Device Manager or restart Windows. No driver was replaced.";
static_assert(UNHEALTHY_CABLE_DEVICE_MESSAGE.size() == 105);

/// The setup class that the INF declares. The name buffer is zeroed before Windows fills it and
/// later serves unchanged as the new device's name.
struct InfClass {
  Guid class_guid{};
  std::array<char16_t, CLASS_NAME_UNITS> class_name{};
};

/// The package folder, one backslash, then the INF name; nothing is normalised.
std::u16string cable_inf_path(std::u16string_view package_folder);

/// SetupDiGetINFClassW on the INF; fails with "read signed INF".
SetupResult<InfClass> read_inf_class(SetupApi& setup, const std::u16string& inf_path);

/// The present devices of the class; fails with "enumerate audio adapters".
SetupResult<DeviceInfoList> open_class_device_list(SetupApi& setup, const Guid& class_guid);

/// Whether a hardware-id multi-string, split at every NUL with empty pieces kept, holds the cable
/// id under ASCII case folding.
bool hardware_ids_name_cable(std::u16string_view units);

/// The first device of the list that carries the cable hardware id, or none. Devices whose ids
/// cannot be read are passed over; a failed enumeration fails with "enumerate adapter".
SetupResult<std::optional<DeviceElement>> find_existing_cable_device(SetupApi& setup, DevInfoRaw list);

/// Started, with no problem number, and the status could be read.
bool cable_device_is_healthy(ConfigManager& config, DevInst devinst);

enum class ExistingCableDevice : std::uint8_t { Absent, Healthy };

/// Absent or Healthy; a cable device that is present but not healthy fails with
/// UNHEALTHY_CABLE_DEVICE_MESSAGE. Only the first cable device of the list is judged.
SetupResult<ExistingCableDevice> check_existing_cable_device(SetupApi& setup, ConfigManager& config,
                                                             DevInfoRaw list);

}  // namespace orvane
