// Whole runs that end on what detection decides about the cable.
#include <gtest/gtest.h>

#include <functional>

#include "tests/detect/cable_tree.h"
#include "tests/scenarios/scenario.h"

namespace orvane::test {
namespace {

using namespace std::string_literals;

constexpr auto RENDER = EndpointDirection::Render;
constexpr auto CAPTURE = EndpointDirection::Capture;
constexpr std::uint32_t ERROR_LINE_EXIT = 1;
constexpr std::uint32_t REBOOT_EXIT = 3010;

std::string error_line_of(std::string_view message) { return "ORVANE_DRIVER_SETUP " + std::string(message) + "\n"; }

// The endpoint pair below `parent`, with the cable as the `depth`-th ancestor of the render one.
void render_at_depth(Scenario& s, DevInst cable, int depth) {
  DevInst parent = cable;
  for (int level = 1; level < depth; ++level) parent = add_plain_node(s.windows, parent);
  s.endpoints = {add_cable_endpoint(s.windows, cable, CAPTURE_ID, CAPTURE),
                 add_cable_endpoint(s.windows, parent, RENDER_ID, RENDER)};
}

struct RunCase {
  const char* name;
  std::function<void(Scenario&)> build;
  std::optional<CableStatusKind> vb_cable;  // none: detection fails
  std::uint32_t exit_status;
  std::string standard_error;
};

// What detection alone decides for the scenario's tree, before any run has changed it.
std::optional<CableStatusKind> vb_cable_verdict(Scenario& s) {
  const auto report = detect_cable_endpoints(s.windows, s.windows, [&]() -> std::expected<std::vector<EndpointInfo>, std::string> {
    if (s.endpoint_error) return std::unexpected(*s.endpoint_error);
    return s.endpoints;
  });
  if (!report) return std::nullopt;
  return report->vb_cable.status.kind;
}

void expect_run(const RunCase& c, bool installs) {
  SCOPED_TRACE(c.name);
  Scenario probe;
  c.build(probe);
  EXPECT_EQ(vb_cable_verdict(probe), c.vb_cable);

  Scenario s;
  c.build(s);
  const RunOutcome outcome = s.run();
  EXPECT_EQ(outcome.exit_status, c.exit_status);
  EXPECT_EQ(outcome.standard_error, c.standard_error);
  EXPECT_EQ(s.windows.calls("SetupDiGetINFClassW"), installs ? 1u : 0u);  // the installation's first call
  EXPECT_EQ(s.windows.leaks(), "");
  EXPECT_TRUE(s.windows.com_balanced());
}

TEST(DetectRun, EndsWithoutInstallingWhenACableDeviceIsThere) {
  const std::string ambiguous = error_line_of("Ambiguous cable endpoints; check Device Manager");
  const std::string duplicate = error_line_of("Duplicate driver devices; check Device Manager");
  const std::string not_started = error_line_of("Driver is not started; check Device Manager and restart Windows");
  const auto missing = CableStatusKind::EndpointsMissing;
  const auto problem = CableStatusKind::Problem;
  const auto ready = CableStatusKind::Ready;
  const auto restart = CableStatusKind::RestartRequired;
  const RunCase cases[] = {
      {"ready", [](Scenario& s) { add_ready_vb_cable(s); }, ready, 0, ""},
      {"lower-case id", [](Scenario& s) { add_ready_vb_cable(s, {u"vbaudiovacwdm"}); }, ready, 0, ""},
      {"id after an empty piece",
       [](Scenario& s) { s.windows.device(add_ready_vb_cable(s)).raw_hardware_ids = u"MEDIA\0\0VBAudioVACWDM\0\0"s; },
       ready, 0, ""},
      {"id listed twice", [](Scenario& s) { add_ready_vb_cable(s, {u"VBAudioVACWDM", u"VBAudioVACWDM"}); }, problem,
       ERROR_LINE_EXIT, duplicate},
      {"two cable devices", [](Scenario& s) { add_ready_vb_cable(s); add_cable(s.windows, {u"VBAUDIOVACWDM"}); }, problem,
       ERROR_LINE_EXIT, duplicate},
      {"restart problem on a stopped device",
       [](Scenario& s) {
         sim::Device& cable = s.windows.device(add_ready_vb_cable(s));
         cable.status = 0;
         cable.problem = CM_PROB_NEED_RESTART_CODE;
       },
       restart, REBOOT_EXIT, ""},
      {"restart bit on a stopped device",
       [](Scenario& s) { s.windows.device(add_ready_vb_cable(s)).status = DN_NEED_RESTART_BIT; }, restart, REBOOT_EXIT, ""},
      {"stopped device", [](Scenario& s) { s.windows.device(add_ready_vb_cable(s)).status = 0; }, problem, ERROR_LINE_EXIT,
       not_started},
      {"started with a problem", [](Scenario& s) { s.windows.device(add_ready_vb_cable(s)).problem = 22; }, problem,
       ERROR_LINE_EXIT, not_started},
      {"stereo render without capture",
       [](Scenario& s) {
         s.endpoints = {add_cable_endpoint(s.windows, add_cable(s.windows), RENDER_ID, RENDER)};
       },
       missing, REBOOT_EXIT, ""},
      {"two renders and no capture",
       [](Scenario& s) {
         const DevInst cable = add_cable(s.windows);
         s.endpoints = {add_cable_endpoint(s.windows, cable, RENDER_ID, RENDER),
                        add_cable_endpoint(s.windows, cable, "render-2", RENDER)};
       },
       missing, REBOOT_EXIT, ""},
      {"one render and two captures",
       [](Scenario& s) {
         s.endpoints.insert(s.endpoints.begin(), add_cable_endpoint(s.windows, add_ready_vb_cable(s), "capture-2", CAPTURE));
       },
       problem, ERROR_LINE_EXIT, ambiguous},
      {"extra line-level render",
       [](Scenario& s) {
         s.endpoints.push_back(add_cable_endpoint(s.windows, add_ready_vb_cable(s), "line-out", RENDER, 2, 48000,
                                                  FORM_FACTOR_LINE_LEVEL));
       },
       ready, 0, ""},
      {"extra 6-channel render",
       [](Scenario& s) { s.endpoints.push_back(add_cable_endpoint(s.windows, add_ready_vb_cable(s), "surround", RENDER, 6)); },
       ready, 0, ""},
      {"6-channel render only",
       [](Scenario& s) {
         const DevInst cable = add_cable(s.windows);
         s.endpoints = {add_cable_endpoint(s.windows, cable, CAPTURE_ID, CAPTURE),
                        add_cable_endpoint(s.windows, cable, "surround", RENDER, 6)};
       },
       missing, REBOOT_EXIT, ""},
      {"render endpoint at depth 0",
       [](Scenario& s) {
         const DevInst cable = s.windows.add_endpoint(utf8_to_utf16(RENDER_ID), std::nullopt);
         s.windows.device(cable).has_hardware_ids = true;
         s.windows.device(cable).hardware_ids = {u"VBAudioVACWDM"};
         s.endpoints = {add_cable_endpoint(s.windows, cable, CAPTURE_ID, CAPTURE), endpoint(RENDER_ID, RENDER)};
       },
       missing, REBOOT_EXIT, ""},
      {"render endpoint at depth 8", [](Scenario& s) { render_at_depth(s, add_cable(s.windows), 8); }, ready, 0, ""},
      {"render endpoint at depth 9", [](Scenario& s) { render_at_depth(s, add_cable(s.windows), 9); }, missing,
       REBOOT_EXIT, ""},
      {"GetDevice fails",
       [](Scenario& s) { add_ready_vb_cable(s); s.windows.fail({"IMMDeviceEnumerator::GetDevice", 0, 0x80070490}); }, missing,
       REBOOT_EXIT, ""},
      {"list fetch fails twice", [](Scenario& s) {
         add_ready_vb_cable(s);
         s.windows.fail({"CM_Get_Device_ID_ListW", 1, 0x1A});
         s.windows.fail({"CM_Get_Device_ID_ListW", 2, 0x1A});
       }, ready, 0, ""},
  };
  for (const RunCase& c : cases) expect_run(c, false);
}

TEST(DetectRun, IgnoresEveryHiFiCableVerdict) {
  struct Rates {
    std::uint32_t render;
    std::uint32_t capture;
  };
  for (const Rates rates : {Rates{44100, 48000}, Rates{44100, 44100}, Rates{0, 0}}) {
    const RunCase c{"Hi-Fi Cable beside a ready VB-CABLE",
                    [rates](Scenario& s) {
                      add_ready_vb_cable(s);
                      const DevInst hifi = add_cable(s.windows, {u"VBAudioHFVAIO"});
                      s.endpoints.insert(s.endpoints.begin(),
                                         add_cable_endpoint(s.windows, hifi, "hifi-c", CAPTURE, 2, rates.capture));
                      s.endpoints.push_back(add_cable_endpoint(s.windows, hifi, "hifi-r", RENDER, 2, rates.render));
                    },
                    CableStatusKind::Ready, 0, ""};
    SCOPED_TRACE(rates.render);
    expect_run(c, false);
  }
}

TEST(DetectRun, FailsWithDetectionsMessageBeforeAnyInstallation) {
  const RunCase cases[] = {
      {"size query fails", [](Scenario& s) { add_ready_vb_cable(s); s.windows.fail({"CM_Get_Device_ID_List_SizeW", 1, 0x1F}); },
       std::nullopt, ERROR_LINE_EXIT, error_line_of("Cannot enumerate Windows audio driver identities")},
      {"list fetch fails three times",
       [](Scenario& s) { add_ready_vb_cable(s); s.windows.fail({"CM_Get_Device_ID_ListW", 0, 0x1A}); }, std::nullopt,
       ERROR_LINE_EXIT, error_line_of("Audio devices changed during detection; refresh again")},
      {"endpoint lister fails", [](Scenario& s) { add_ready_vb_cable(s); s.endpoint_error = "audio controller closed"; },
       std::nullopt, ERROR_LINE_EXIT, error_line_of("audio controller closed")},
  };
  for (const RunCase& c : cases) expect_run(c, false);

  Scenario s;
  add_ready_vb_cable(s);
  s.windows.fail({"CM_Get_Device_ID_List_SizeW", 1, 0x1F});
  s.run();
  EXPECT_EQ(s.endpoint_requests, 0u);  // the audio controller is never asked
}

TEST(DetectRun, GoesOnToTheInstallationWhenNoCableDeviceIsThere) {
  const auto not_installed = CableStatusKind::NotInstalled;
  const RunCase cases[] = {
      {"no cable and no endpoints", [](Scenario&) {}, not_installed, 0, ""},
      {"14-character id", [](Scenario& s) { add_cable(s.windows, {u"VBAudioVACWDMX"}); }, not_installed, 0, ""},
      {"Hi-Fi Cable only",
       [](Scenario& s) {
         const DevInst hifi = add_cable(s.windows, {u"VBAudioHFVAIO"});
         s.endpoints = {add_cable_endpoint(s.windows, hifi, "c", CAPTURE, 2, 44100),
                        add_cable_endpoint(s.windows, hifi, "r", RENDER)};
       },
       not_installed, 0, ""},
  };
  for (const RunCase& c : cases) expect_run(c, true);

  // The installation then creates the cable device and installs its driver on it.
  Scenario s;
  add_cable(s.windows, {u"VBAudioVACWDMX"});
  EXPECT_EQ(s.run().exit_status, 0u);
  ASSERT_EQ(s.windows.driver_updates.size(), 1u);
  EXPECT_EQ(s.windows.driver_updates[0].hardware_id, u"VBAudioVACWDM");
  EXPECT_EQ(s.windows.devices_with_hardware_id(u"VBAudioVACWDM").size(), 1u);
}

}  // namespace
}  // namespace orvane::test
