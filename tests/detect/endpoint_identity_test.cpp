// The tie between an audio endpoint and a cable device, and the VB-CABLE form-factor filter.
#include <gtest/gtest.h>

#include <algorithm>

#include "detect/driver_identity.h"
#include "tests/detect/cable_tree.h"

namespace orvane::test {
namespace {

// A chain cable <- node <- ... <- endpoint in which the cable is the endpoint's `depth`-th ancestor.
DevInst endpoint_at_depth(sim::SimWindows& windows, int depth) {
  const DevInst root = add_plain_node(windows, {});
  const DevInst cable = add_cable(windows);
  windows.device(cable).parent = root;
  DevInst parent = cable;
  for (int level = 1; level < depth; ++level) parent = add_plain_node(windows, parent);
  windows.add_endpoint(utf8_to_utf16(RENDER_ID), parent);
  return cable;
}

TEST(EndpointUnderDevice, ComparesAncestorsAtDepthsOneToEight) {
  for (const auto& [depth, expected] : {std::pair{1, true}, {2, true}, {8, true}, {9, false}, {12, false}}) {
    SCOPED_TRACE(depth);
    sim::SimWindows windows;
    const DevInst cable = endpoint_at_depth(windows, depth);
    EXPECT_EQ(endpoint_under_device(windows, RENDER_ID, cable), expected);
    EXPECT_LE(windows.calls("CM_Get_Parent"), 8u);
  }
}

TEST(EndpointUnderDevice, NeverComparesTheEndpointsOwnDevnode) {
  sim::SimWindows windows;
  const DevInst own = windows.add_endpoint(utf8_to_utf16(RENDER_ID), add_plain_node(windows, {}));
  EXPECT_FALSE(endpoint_under_device(windows, RENDER_ID, own));
}

TEST(EndpointUnderDevice, IsFalseWhenTheTreeCannotBeWalked) {
  struct Case {
    const char* name;
    std::string endpoint_id;
    std::optional<sim::Fault> fault;
  };
  const Case cases[] = {
      {"unknown endpoint", "{0.0.0.00000000}.{absent}", std::nullopt},
      {"prefix not added twice", std::string("SWD\\MMDEVAPI\\") + RENDER_ID, std::nullopt},
      {"locate fails", RENDER_ID, sim::Fault{"CM_Locate_DevNodeW", 1, 0x0D}},
      {"first parent fails", RENDER_ID, sim::Fault{"CM_Get_Parent", 1, 0x05}},
      {"second parent fails", RENDER_ID, sim::Fault{"CM_Get_Parent", 2, 0x05}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::SimWindows windows;
    const DevInst cable = endpoint_at_depth(windows, 2);
    if (c.fault) windows.fail(*c.fault);
    EXPECT_FALSE(endpoint_under_device(windows, c.endpoint_id, cable));
  }
}

TEST(EndpointUnderDevice, StopsAtTheRootOfTheTree) {
  sim::SimWindows windows;
  const DevInst cable = add_cable(windows);
  windows.add_endpoint(utf8_to_utf16(RENDER_ID), add_plain_node(windows, {}));
  EXPECT_FALSE(endpoint_under_device(windows, RENDER_ID, cable));
  EXPECT_EQ(windows.calls("CM_Get_Parent"), 2u);  // the second one fails at the root
}

TEST(EndpointUnderDevice, PassesNonAsciiIdsAsUtf16) {
  sim::SimWindows windows;
  const DevInst cable = add_cable(windows);
  windows.add_endpoint(u"{0.0.0.00000000}.{caf\u00e9-\U0001F3B5}", cable);
  EXPECT_TRUE(endpoint_under_device(windows, "{0.0.0.00000000}.{caf\xc3\xa9-\xf0\x9f\x8e\xb5}", cable));
}

struct FilterCase {
  const char* name;
  CableIdentity identity;
  EndpointDirection direction;
  std::optional<std::uint32_t> form_factor;
  bool expected;
  bool examined;  // whether COM is used at all
};

TEST(PassesFormFactorFilter, AdmitsOnlySpeakersAmongVbCableRenderEndpoints) {
  const FilterCase cases[] = {
      {"VB-CABLE speakers", VB_CABLE_HARDWARE_ID, EndpointDirection::Render, FORM_FACTOR_SPEAKERS, true, true},
      {"VB-CABLE line level", VB_CABLE_HARDWARE_ID, EndpointDirection::Render, FORM_FACTOR_LINE_LEVEL, false, true},
      {"VB-CABLE headphones", VB_CABLE_HARDWARE_ID, EndpointDirection::Render, FORM_FACTOR_HEADPHONES, false, true},
      {"VB-CABLE remote network device", VB_CABLE_HARDWARE_ID, EndpointDirection::Render, 0, false, true},
      {"VB-CABLE empty property", VB_CABLE_HARDWARE_ID, EndpointDirection::Render, std::nullopt, false, true},
      {"VB-CABLE capture", VB_CABLE_HARDWARE_ID, EndpointDirection::Capture, FORM_FACTOR_LINE_LEVEL, true, false},
      {"Hi-Fi Cable render", HIFI_CABLE_HARDWARE_ID, EndpointDirection::Render, FORM_FACTOR_LINE_LEVEL, true, false},
      {"identity compared by bytes", "vbaudiovacwdm", EndpointDirection::Render, FORM_FACTOR_LINE_LEVEL, true, false},
  };
  for (const FilterCase& c : cases) {
    SCOPED_TRACE(c.name);
    sim::SimWindows windows;
    const EndpointInfo info = add_cable_endpoint(windows, add_cable(windows), RENDER_ID, c.direction, 2, 48000,
                                                 c.form_factor);
    EXPECT_EQ(passes_form_factor_filter(windows, c.identity, info), c.expected);
    EXPECT_EQ(windows.calls("CoInitializeEx"), c.examined ? 1u : 0u);
    EXPECT_EQ(windows.calls("CoUninitialize"), c.examined ? 1u : 0u);
    EXPECT_EQ(windows.leaks(), "");
  }
}

TEST(PassesFormFactorFilter, ReleasesEverythingBeforeLeavingCom) {
  sim::SimWindows windows;
  const EndpointInfo info = add_cable_endpoint(windows, add_cable(windows), RENDER_ID, EndpointDirection::Render);
  ASSERT_TRUE(passes_form_factor_filter(windows, VB_CABLE_HARDWARE_ID, info));
  const std::vector<std::string> expected{
      "CoInitializeEx",   "CoCreateInstance",  "IMMDeviceEnumerator::GetDevice", "IMMDevice::OpenPropertyStore",
      "IPropertyStore::GetValue", "PropVariantToUInt32", "PropVariantClear", "IUnknown::Release",
      "IUnknown::Release", "IUnknown::Release", "CoUninitialize"};
  EXPECT_EQ(windows.call_log(), expected);
}

TEST(PassesFormFactorFilter, AnyFailingStepRejectsTheEndpointAndReleasesWhatWasObtained) {
  struct Case {
    sim::Fault fault;
    unsigned releases;
  };
  constexpr std::uint32_t E_FAIL = 0x80004005;
  const Case cases[] = {
      {{"CoInitializeEx", 1, 0x80010106}, 0},  // RPC_E_CHANGED_MODE: the sim then refuses COM
      {{"CoCreateInstance", 1, E_FAIL}, 0},
      {{"CoCreateInstance", 1, 0, true}, 0},
      {{"IMMDeviceEnumerator::GetDevice", 1, 0x80070490}, 1},
      {{"IMMDeviceEnumerator::GetDevice", 1, 0, true}, 1},
      {{"IMMDevice::OpenPropertyStore", 1, E_FAIL}, 2},
      {{"IMMDevice::OpenPropertyStore", 1, 0, true}, 2},
      {{"IPropertyStore::GetValue", 1, E_FAIL}, 3},
      {{"PropVariantToUInt32", 1, 0x80020005}, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault.call + (c.fault.null_success ? " null" : ""));
    sim::SimWindows windows;
    const EndpointInfo info = add_cable_endpoint(windows, add_cable(windows), RENDER_ID, EndpointDirection::Render);
    windows.fail(c.fault);
    EXPECT_FALSE(passes_form_factor_filter(windows, VB_CABLE_HARDWARE_ID, info));
    EXPECT_EQ(windows.calls("IUnknown::Release"), c.releases);
    EXPECT_EQ(windows.calls("CoUninitialize"), c.fault.call == "CoInitializeEx" ? 0u : 1u);
    EXPECT_EQ(windows.leaks(), "");
    EXPECT_TRUE(windows.com_balanced());
  }
}

TEST(PassesFormFactorFilter, LeavesComOnceWhenTheThreadWasAlreadyInIt) {
  sim::SimWindows windows;
  const EndpointInfo info = add_cable_endpoint(windows, add_cable(windows), RENDER_ID, EndpointDirection::Render);
  ASSERT_EQ(windows.co_initialize_multithreaded(), 0);
  EXPECT_TRUE(passes_form_factor_filter(windows, VB_CABLE_HARDWARE_ID, info));  // joins with S_FALSE
  EXPECT_EQ(windows.calls("CoUninitialize"), 1u);
  windows.co_uninitialize();
  EXPECT_TRUE(windows.com_balanced());
}

}  // namespace
}  // namespace orvane::test
