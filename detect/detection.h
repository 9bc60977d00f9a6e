// Cable endpoint detection: the driver devices, their endpoints and a verdict per cable identity.
#pragma once

#include <expected>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "audio/endpoint_info.h"
#include "detect/detection_report.h"
#include "detect/driver_identity.h"
#include "platform/config_manager.h"
#include "platform/endpoint_properties.h"

namespace orvane {

/// Where detection gets the audio endpoints from: capture endpoints, then render endpoints, or
/// the audio controller's error message.
using EndpointLister = std::function<std::expected<std::vector<EndpointInfo>, std::string>()>;

/// The verdict for one identity over the collected driver devices and the listed endpoints.
CableVerdict classify_cable(ConfigManager& config, EndpointProperties& com, CableIdentity identity,
                            std::span<const DriverDevice> devices, std::span<const EndpointInfo> endpoints);

/// Collects the cable driver devices, lists the endpoints and judges VB-CABLE, then Hi-Fi Cable.
/// Fails with a plain message when the devices or the endpoints cannot be listed.
std::expected<DetectionReport, std::string> detect_cable_endpoints(ConfigManager& config, EndpointProperties& com,
                                                                   const EndpointLister& list_endpoints);

}  // namespace orvane
