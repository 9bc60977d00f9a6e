// Which present devices are cable drivers, and which audio endpoints belong to them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <string>
#include <string_view>
#include <vector>

#include "audio/endpoint_info.h"
#include "platform/config_manager.h"
#include "platform/endpoint_properties.h"

namespace orvane {

/// A cable's 13-character hardware identifier, as one of the two constants below.
using CableIdentity = std::string_view;

inline constexpr CableIdentity VB_CABLE_HARDWARE_ID = "VBAudioVACWDM";
inline constexpr CableIdentity HIFI_CABLE_HARDWARE_ID = "VBAudioHFVAIO";

inline constexpr int DEVICE_ID_LIST_ATTEMPTS = 3;
inline constexpr std::size_t DEVNODE_HARDWARE_ID_BUFFER_BYTES = 4096;
inline constexpr int PARENT_WALK_DEPTH = 8;
inline constexpr std::u16string_view ENDPOINT_INSTANCE_PREFIX = u"SWD\\MMDEVAPI\\";

inline constexpr std::string_view DEVICE_LIST_SIZE_FAILED_MESSAGE = "Cannot enumerate Windows audio driver identities";
inline constexpr std::string_view DEVICE_LIST_CHANGING_MESSAGE = "Audio devices changed during detection; refresh again";

/// One cable identifier string found on a present device.
struct DriverDevice {
  std::string hardware_id;  // as the device reported it; its letter case may differ
  DevInst devnode = 0;
  bool started = false;  // at collection time
  friend bool operator==(const DriverDevice&, const DriverDevice&) = default;
};

/// One record per cable identifier string of every present device, in the order of the
/// device-ID list; one of the two messages above when the list cannot be had.
std::expected<std::vector<DriverDevice>, std::string> collect_driver_devices(ConfigManager& config);

/// Whether the endpoint's devnode has `devnode` among its ancestors at depths 1 to 8. Any
/// failing configuration-manager call gives false.
bool endpoint_under_device(ConfigManager& config, std::string_view endpoint_id, DevInst devnode);

/// False only for a VB-CABLE render endpoint whose form factor is not Speakers or cannot be
/// read; everything else passes unexamined. Joins and leaves COM on the calling thread.
bool passes_form_factor_filter(EndpointProperties& com, CableIdentity identity, const EndpointInfo& endpoint);

}  // namespace orvane
