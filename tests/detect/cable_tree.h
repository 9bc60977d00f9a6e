// Device trees of cables and their endpoints in the simulated Windows, for the detection tests.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/config_manager.h"
#include "platform/text.h"
#include "tests/scenarios/scenario.h"
#include "tests/sim/sim_windows.h"

namespace orvane::test {

inline constexpr char RENDER_ID[] = "{0.0.0.00000000}.{6a1f2b3c-0001-4000-8000-00000000c0de}";
inline constexpr char CAPTURE_ID[] = "{0.0.1.00000000}.{6a1f2b3c-0002-4000-8000-00000000c0de}";
inline constexpr std::uint32_t FORM_FACTOR_LINE_LEVEL = 2;
inline constexpr std::uint32_t FORM_FACTOR_HEADPHONES = 3;

/// A present root device with the given hardware ids, started unless told otherwise.
inline DevInst add_cable(sim::SimWindows& windows, std::vector<std::u16string> hardware_ids = {u"VBAudioVACWDM"},
                         std::uint32_t status = DN_STARTED_BIT, std::uint32_t problem = 0) {
  static unsigned serial = 0;
  sim::Device device = sim::media_class_device(std::move(hardware_ids), status, problem);
  device.instance_id = u"ROOT\\MEDIA\\" + utf8_to_utf16(std::to_string(1000 + serial++));
  return windows.add_device(std::move(device));
}

/// A present device below `parent` that carries no hardware ids.
inline DevInst add_plain_node(sim::SimWindows& windows, std::optional<DevInst> parent) {
  static unsigned serial = 0;
  sim::Device device;
  device.instance_id = u"SWD\\NODE\\" + utf8_to_utf16(std::to_string(serial++));
  device.has_hardware_ids = false;
  device.parent = parent;
  return windows.add_device(std::move(device));
}

/// The endpoint's devnode below `parent`, and its record as the audio controller gives it.
inline EndpointInfo add_cable_endpoint(sim::SimWindows& windows, std::optional<DevInst> parent, std::string id,
                                       EndpointDirection direction, std::uint16_t channels = 2,
                                       std::uint32_t rate = 48000,
                                       std::optional<std::uint32_t> form_factor = FORM_FACTOR_SPEAKERS) {
  windows.add_endpoint(utf8_to_utf16(id), parent, form_factor);
  return endpoint(std::move(id), direction, channels, rate);
}

/// A started VB-CABLE device with one stereo Speakers render and one stereo capture endpoint,
/// which the scenario's audio controller lists.
inline DevInst add_ready_vb_cable(Scenario& s, std::vector<std::u16string> hardware_ids = {u"VBAudioVACWDM"}) {
  const DevInst cable = add_cable(s.windows, std::move(hardware_ids));
  s.endpoints = {add_cable_endpoint(s.windows, cable, CAPTURE_ID, EndpointDirection::Capture),
                 add_cable_endpoint(s.windows, cable, RENDER_ID, EndpointDirection::Render)};
  return cable;
}

}  // namespace orvane::test
