#include "detect/detection.h"

#include "platform/text.h"

namespace orvane {
namespace {

constexpr std::string_view DUPLICATE_DEVICES_MESSAGE = "Duplicate driver devices; check Device Manager";
constexpr std::string_view NOT_STARTED_MESSAGE = "Driver is not started; check Device Manager and restart Windows";
constexpr std::string_view AMBIGUOUS_ENDPOINTS_MESSAGE = "Ambiguous cable endpoints; check Device Manager";
constexpr std::uint16_t STEREO_CHANNELS = 2;

CableVerdict verdict_of(CableStatusKind kind) { return {CableStatus{kind, {}}, {}, {}}; }

CableVerdict problem_verdict(std::string_view message) {
  return {CableStatus{CableStatusKind::Problem, std::string(message)}, {}, {}};
}

// Read afresh rather than at collection, since a pending restart is what the user must act on
// first. A failed query counts as no restart pending.
bool restart_pending(ConfigManager& config, DevInst devnode) {
  std::uint32_t status = 0;
  std::uint32_t problem = 0;
  if (config.get_devnode_status(status, problem, devnode, 0) != CR_SUCCESS_CODE) return false;
  return problem == CM_PROB_NEED_RESTART_CODE || (status & DN_NEED_RESTART_BIT) != 0;
}

struct StereoEndpoints {
  std::vector<const EndpointInfo*> render;
  std::vector<const EndpointInfo*> capture;
};

// The stereo endpoints that belong to the device and pass its identity's filter, in list order.
StereoEndpoints stereo_cable_endpoints(ConfigManager& config, EndpointProperties& com, CableIdentity identity,
                                       DevInst devnode, std::span<const EndpointInfo> endpoints) {
  StereoEndpoints found;
  for (const EndpointInfo& endpoint : endpoints) {
    if (!endpoint_under_device(config, endpoint.id, devnode)) continue;
    if (!passes_form_factor_filter(com, identity, endpoint)) continue;
    if (endpoint.channels != STEREO_CHANNELS) continue;
    (endpoint.direction == EndpointDirection::Render ? found.render : found.capture).push_back(&endpoint);
  }
  return found;
}

// Hi-Fi Cable only works when both ends run at one rate, which the user sets in mmsys.cpl.
CableVerdict pair_verdict(CableIdentity identity, const EndpointInfo& render, const EndpointInfo& capture) {
  CableVerdict verdict{CableStatus{CableStatusKind::Ready, {}}, render.id, capture.id};
  if (identity == HIFI_CABLE_HARDWARE_ID &&
      (render.default_rate == 0 || render.default_rate != capture.default_rate)) {
    verdict.status = {CableStatusKind::Problem, "Hi-Fi Cable sample rates differ (" + decimal(render.default_rate) +
                                                    " / " + decimal(capture.default_rate) +
                                                    " Hz); set both ends to stereo 48 kHz in mmsys.cpl"};
  }
  return verdict;
}

}  // namespace

CableVerdict classify_cable(ConfigManager& config, EndpointProperties& com, CableIdentity identity,
                            std::span<const DriverDevice> devices, std::span<const EndpointInfo> endpoints) {
  const DriverDevice* selected = nullptr;
  for (const DriverDevice& device : devices) {
    if (!ascii_case_fold_equal(device.hardware_id, identity)) continue;
    if (selected != nullptr) return problem_verdict(DUPLICATE_DEVICES_MESSAGE);
    selected = &device;
  }
  if (selected == nullptr) return verdict_of(CableStatusKind::NotInstalled);
  if (restart_pending(config, selected->devnode)) return verdict_of(CableStatusKind::RestartRequired);
  if (!selected->started) return problem_verdict(NOT_STARTED_MESSAGE);

  const StereoEndpoints stereo = stereo_cable_endpoints(config, com, identity, selected->devnode, endpoints);
  // A missing side is decided before ambiguity: endpoints may still be appearing.
  if (stereo.render.empty() || stereo.capture.empty()) return verdict_of(CableStatusKind::EndpointsMissing);
  if (stereo.render.size() > 1 || stereo.capture.size() > 1) return problem_verdict(AMBIGUOUS_ENDPOINTS_MESSAGE);
  return pair_verdict(identity, *stereo.render.front(), *stereo.capture.front());
}

std::expected<DetectionReport, std::string> detect_cable_endpoints(ConfigManager& config, EndpointProperties& com,
                                                                   const EndpointLister& list_endpoints) {
  const auto devices = collect_driver_devices(config);
  if (!devices) return std::unexpected(devices.error());
  auto endpoints = list_endpoints();
  if (!endpoints) return std::unexpected(std::move(endpoints.error()));

  DetectionReport report;
  report.vb_cable = classify_cable(config, com, VB_CABLE_HARDWARE_ID, *devices, *endpoints);
  report.hifi_cable = classify_cable(config, com, HIFI_CABLE_HARDWARE_ID, *devices, *endpoints);
  report.endpoints = std::move(*endpoints);
  return report;
}

}  // namespace orvane
