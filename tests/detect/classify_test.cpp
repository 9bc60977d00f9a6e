// The verdict for one cable identity, and the detection that runs both.
#include <gtest/gtest.h>

#include "detect/detection.h"
#include "tests/detect/cable_tree.h"
#include "tests/detect/config_entry_probe.h"

namespace orvane::test {
namespace {

constexpr auto RENDER = EndpointDirection::Render;
constexpr auto CAPTURE = EndpointDirection::Capture;
const std::string AMBIGUOUS = "Ambiguous cable endpoints; check Device Manager";

// One endpoint of a table row: placed under the cable, or under an unrelated adapter.
struct PlannedEndpoint {
  const char* id;
  EndpointDirection direction;
  std::uint16_t channels = 2;
  std::uint32_t rate = 48000;
  std::uint32_t form_factor = FORM_FACTOR_SPEAKERS;
  bool under_cable = true;
};

CableVerdict ready(std::string render, std::string capture) {
  return {{CableStatusKind::Ready, {}}, std::move(render), std::move(capture)};
}
CableVerdict status_only(CableStatusKind kind, std::string message = {}) { return {{kind, std::move(message)}, {}, {}}; }

CableVerdict classify_row(CableIdentity identity, const std::vector<PlannedEndpoint>& planned) {
  sim::SimWindows windows;
  const DevInst cable = add_cable(windows, {utf8_to_utf16(identity)});
  const DevInst other = add_cable(windows, {u"PCI\\VEN_10EC&DEV_0887"});
  std::vector<EndpointInfo> endpoints;
  for (const PlannedEndpoint& endpoint : planned) {
    endpoints.push_back(add_cable_endpoint(windows, endpoint.under_cable ? cable : other, endpoint.id,
                                           endpoint.direction, endpoint.channels, endpoint.rate,
                                           endpoint.form_factor));
  }
  const auto devices = collect_driver_devices(windows);
  EXPECT_TRUE(devices.has_value());
  const CableVerdict verdict = classify_cable(windows, windows, identity, *devices, endpoints);
  EXPECT_EQ(windows.leaks(), "");
  return verdict;
}

TEST(ClassifyCable, CountsStereoCableEndpointsAndDecidesAMissingSideFirst) {
  struct Case {
    const char* name;
    std::vector<PlannedEndpoint> endpoints;
    CableVerdict expected;
  };
  const auto missing = status_only(CableStatusKind::EndpointsMissing);
  const auto ambiguous = status_only(CableStatusKind::Problem, AMBIGUOUS);
  const Case cases[] = {
      {"none", {}, missing},
      {"render only", {{"r", RENDER}}, missing},
      {"capture only", {{"c", CAPTURE}}, missing},
      {"two renders, no capture", {{"r1", RENDER}, {"r2", RENDER}}, missing},
      {"no render, two captures", {{"c1", CAPTURE}, {"c2", CAPTURE}}, missing},
      {"one pair", {{"c", CAPTURE}, {"r", RENDER}}, ready("r", "c")},
      {"one render, two captures", {{"c1", CAPTURE}, {"c2", CAPTURE}, {"r", RENDER}}, ambiguous},
      {"two renders, one capture", {{"c", CAPTURE}, {"r1", RENDER}, {"r2", RENDER}}, ambiguous},
      {"two pairs", {{"c1", CAPTURE}, {"c2", CAPTURE}, {"r1", RENDER}, {"r2", RENDER}}, ambiguous},
      {"extra line-level render", {{"c", CAPTURE}, {"line", RENDER, 2, 48000, FORM_FACTOR_LINE_LEVEL}, {"r", RENDER}},
       ready("r", "c")},
      {"only a headphones render", {{"c", CAPTURE}, {"h", RENDER, 2, 48000, FORM_FACTOR_HEADPHONES}}, missing},
      {"extra 6-channel render", {{"c", CAPTURE}, {"r", RENDER}, {"r51", RENDER, 6}}, ready("r", "c")},
      {"extra mono capture", {{"mono", CAPTURE, 1}, {"c", CAPTURE}, {"r", RENDER}}, ready("r", "c")},
      {"6-channel render only", {{"c", CAPTURE}, {"r51", RENDER, 6}}, missing},
      {"capture of another adapter", {{"c", CAPTURE, 2, 48000, 1, false}, {"r", RENDER}}, missing},
      {"second capture of another adapter", {{"c", CAPTURE}, {"c2", CAPTURE, 2, 48000, 1, false}, {"r", RENDER}},
       ready("r", "c")},
      {"no rate check for VB-CABLE", {{"c", CAPTURE, 2, 44100}, {"r", RENDER, 2, 0}}, ready("r", "c")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(classify_row(VB_CABLE_HARDWARE_ID, c.endpoints), c.expected);
  }
}

TEST(ClassifyCable, HiFiCableNeedsEqualNonZeroRatesAndKeepsThePairWhenTheyDiffer) {
  struct Case {
    std::uint32_t render_rate;
    std::uint32_t capture_rate;
    std::string message;  // empty: Ready
  };
  const Case cases[] = {
      {48000, 48000, ""},
      {44100, 44100, ""},
      {192000, 192000, ""},
      {44100, 48000, "Hi-Fi Cable sample rates differ (44100 / 48000 Hz); set both ends to stereo 48 kHz in mmsys.cpl"},
      {48000, 44100, "Hi-Fi Cable sample rates differ (48000 / 44100 Hz); set both ends to stereo 48 kHz in mmsys.cpl"},
      {0, 0, "Hi-Fi Cable sample rates differ (0 / 0 Hz); set both ends to stereo 48 kHz in mmsys.cpl"},
      {0, 48000, "Hi-Fi Cable sample rates differ (0 / 48000 Hz); set both ends to stereo 48 kHz in mmsys.cpl"},
      {4294967295u, 4294967295u, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.render_rate);
    // A line-level render still counts: the form factor matters for VB-CABLE only.
    const CableVerdict verdict = classify_row(
        HIFI_CABLE_HARDWARE_ID,
        {{"c", CAPTURE, 2, c.capture_rate}, {"r", RENDER, 2, c.render_rate, FORM_FACTOR_LINE_LEVEL}});
    const CableStatus expected = c.message.empty() ? CableStatus{CableStatusKind::Ready, {}}
                                                   : CableStatus{CableStatusKind::Problem, c.message};
    EXPECT_EQ(verdict, (CableVerdict{expected, "r", "c"}));
  }
}

TEST(ClassifyCable, JudgesTheDeviceBeforeItsEndpoints) {
  struct Case {
    const char* name;
    std::vector<DriverDevice> devices;
    std::uint32_t status_now;
    std::uint32_t problem_now;
    std::optional<sim::Fault> fault;
    CableVerdict expected;
  };
  const auto restart = status_only(CableStatusKind::RestartRequired);
  const auto not_started =
      status_only(CableStatusKind::Problem, "Driver is not started; check Device Manager and restart Windows");
  const auto duplicate = status_only(CableStatusKind::Problem, "Duplicate driver devices; check Device Manager");
  const DriverDevice started{"VBAudioVACWDM", 1, true};
  const DriverDevice stopped{"VBAudioVACWDM", 1, false};
  const Case cases[] = {
      {"no devices", {}, DN_STARTED_BIT, 0, {}, status_only(CableStatusKind::NotInstalled)},
      {"only the other identity", {{"VBAudioHFVAIO", 1, true}}, DN_STARTED_BIT, 0, {},
       status_only(CableStatusKind::NotInstalled)},
      {"longer id", {{"VBAudioVACWDM2", 1, true}}, DN_STARTED_BIT, 0, {}, status_only(CableStatusKind::NotInstalled)},
      {"two records", {started, {"vbaudiovacwdm", 2, true}}, DN_STARTED_BIT, 0, {}, duplicate},
      {"two records, one stopped", {stopped, started}, 0, 0, {}, duplicate},
      {"lower case selected", {{"vbaudiovacwdm", 1, true}}, DN_STARTED_BIT, 0, {}, ready(RENDER_ID, CAPTURE_ID)},
      {"restart problem on a stopped device", {stopped}, 0, CM_PROB_NEED_RESTART_CODE, {}, restart},
      {"restart bit on a stopped device", {stopped}, DN_NEED_RESTART_BIT, 0, {}, restart},
      {"restart arose after collection", {started}, DN_STARTED_BIT | DN_NEED_RESTART_BIT, 0, {}, restart},
      {"other problem", {stopped}, DN_STARTED_BIT, 22, {}, not_started},
      {"stopped", {stopped}, 0, 0, {}, not_started},
      {"status query fails on a stopped device", {stopped}, DN_NEED_RESTART_BIT, 0,
       sim::Fault{"CM_Get_DevNode_Status", 1, 0x05}, not_started},
      {"status query fails on a started device", {started}, DN_NEED_RESTART_BIT, 0,
       sim::Fault{"CM_Get_DevNode_Status", 1, 0x05}, ready(RENDER_ID, CAPTURE_ID)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::SimWindows windows;
    const DevInst cable = add_cable(windows, {u"VBAudioVACWDM"}, c.status_now, c.problem_now);
    ASSERT_EQ(cable, 1u);
    const std::vector<EndpointInfo> endpoints{add_cable_endpoint(windows, cable, CAPTURE_ID, CAPTURE),
                                              add_cable_endpoint(windows, cable, RENDER_ID, RENDER)};
    if (c.fault) windows.fail(*c.fault);
    ConfigEntryProbe probe(windows);
    EXPECT_EQ(classify_cable(probe, windows, VB_CABLE_HARDWARE_ID, c.devices, endpoints), c.expected);
    EXPECT_TRUE(probe.status_outputs_clear);
    EXPECT_LE(windows.calls("CM_Get_DevNode_Status"), 1u);
  }
}

TEST(DetectCableEndpoints, ListsEndpointsOnlyAfterCollectingAndReportsBothIdentities) {
  sim::SimWindows windows;
  const DevInst vb = add_cable(windows);
  const DevInst hifi = add_cable(windows, {u"VBAudioHFVAIO"});
  const std::vector<EndpointInfo> endpoints{
      add_cable_endpoint(windows, vb, CAPTURE_ID, CAPTURE),
      add_cable_endpoint(windows, hifi, "hifi-capture", CAPTURE, 2, 48000),
      add_cable_endpoint(windows, vb, RENDER_ID, RENDER),
      add_cable_endpoint(windows, hifi, "hifi-render", RENDER, 2, 44100),
  };
  unsigned requests = 0;
  const auto report = detect_cable_endpoints(windows, windows, [&]() -> std::expected<std::vector<EndpointInfo>, std::string> {
    ++requests;
    EXPECT_EQ(windows.calls("CM_Get_DevNode_Registry_PropertyW"), 6u);  // collection is complete
    return endpoints;
  });
  ASSERT_TRUE(report.has_value());
  EXPECT_EQ(requests, 1u);
  EXPECT_EQ(report->vb_cable, ready(RENDER_ID, CAPTURE_ID));
  EXPECT_EQ(report->hifi_cable,
            (CableVerdict{{CableStatusKind::Problem,
                           "Hi-Fi Cable sample rates differ (44100 / 48000 Hz); set both ends to stereo 48 kHz in "
                           "mmsys.cpl"},
                          "hifi-render",
                          "hifi-capture"}));
  EXPECT_EQ(report->endpoints, endpoints);
  EXPECT_EQ(windows.leaks(), "");
}

TEST(DetectCableEndpoints, PassesFailuresOnUnchanged) {
  struct Case {
    const char* name;
    std::optional<sim::Fault> fault;
    std::optional<std::string> lister_error;
    std::string expected;
    unsigned requests;
  };
  const Case cases[] = {
      {"size query", sim::Fault{"CM_Get_Device_ID_List_SizeW", 1, 0x1F}, std::nullopt,
       "Cannot enumerate Windows audio driver identities", 0},
      {"fetch", sim::Fault{"CM_Get_Device_ID_ListW", 0, 0x1A}, std::nullopt,
       "Audio devices changed during detection; refresh again", 0},
      {"lister", std::nullopt, "cubeb_enumerate_devices failed: error -1 (render)",
       "cubeb_enumerate_devices failed: error -1 (render)", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::SimWindows windows;
    add_cable(windows);
    if (c.fault) windows.fail(*c.fault);
    unsigned requests = 0;
    const auto report = detect_cable_endpoints(windows, windows, [&]() -> std::expected<std::vector<EndpointInfo>, std::string> {
      ++requests;
      if (c.lister_error) return std::unexpected(*c.lister_error);
      return std::vector<EndpointInfo>{};
    });
    ASSERT_FALSE(report.has_value());
    EXPECT_EQ(report.error(), c.expected);
    EXPECT_EQ(requests, c.requests);
  }
}

}  // namespace
}  // namespace orvane::test
