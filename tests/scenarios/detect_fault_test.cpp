// Every configuration-manager and COM call of detection made to fail in turn, in whole runs.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>
#include <tuple>

#include "tests/detect/cable_tree.h"
#include "tests/scenarios/scenario.h"

namespace orvane::test {
namespace {

constexpr std::uint32_t CR_FAILURE_CODE = 0x13;
constexpr std::uint32_t E_FAIL_CODE = 0x80004005;

const std::set<std::string> CONFIG_CALLS{"CM_Get_Device_ID_List_SizeW", "CM_Get_Device_ID_ListW",
                                         "CM_Locate_DevNodeW",          "CM_Get_DevNode_Registry_PropertyW",
                                         "CM_Get_DevNode_Status",       "CM_Get_Parent"};
const std::set<std::string> COM_CALLS{"CoInitializeEx",
                                      "CoCreateInstance",
                                      "IMMDeviceEnumerator::GetDevice",
                                      "IMMDevice::OpenPropertyStore",
                                      "IPropertyStore::GetValue",
                                      "PropVariantToUInt32"};
// The calls that hand out an interface, and so can also succeed with a null one.
const std::set<std::string> INTERFACE_CALLS{"CoCreateInstance", "IMMDeviceEnumerator::GetDevice",
                                            "IMMDevice::OpenPropertyStore"};

struct Outcome {
  std::uint32_t exit_status = 0;
  std::string standard_error;
  bool installs = false;
};
using FaultKey = std::tuple<std::string, unsigned, bool>;  // call, occurrence, null with success

const Outcome READY{0, "", false};
// VB-CABLE judged not installed: the installation runs and finds the scenario's healthy device.
const Outcome INSTALLS{0, "", true};
const Outcome MISSING{3010, "", false};
const Outcome NOT_STARTED{1, "ORVANE_DRIVER_SETUP Driver is not started; check Device Manager and restart Windows\n",
                          false};
const Outcome NO_IDENTITIES{1, "ORVANE_DRIVER_SETUP Cannot enumerate Windows audio driver identities\n", false};

// The fallible detection calls of a fault-free run of the scenario, each occurrence once.
std::vector<FaultKey> every_fault(const std::function<void(Scenario&)>& build) {
  Scenario clean;
  build(clean);
  EXPECT_EQ(clean.run().exit_status, 0u);
  std::map<std::string, unsigned> seen;
  std::vector<FaultKey> keys;
  for (const std::string& call : clean.windows.call_log()) {
    if (!CONFIG_CALLS.contains(call) && !COM_CALLS.contains(call)) continue;
    const unsigned occurrence = ++seen[call];
    keys.emplace_back(call, occurrence, false);
    if (INTERFACE_CALLS.contains(call)) keys.emplace_back(call, occurrence, true);
  }
  return keys;
}

// Runs the scenario once per fault; a fault not listed must leave the run as if it were ready.
void expect_every_fault(const std::function<void(Scenario&)>& build, const std::map<FaultKey, Outcome>& outcomes) {
  std::set<FaultKey> exercised;
  for (const FaultKey& key : every_fault(build)) {
    const auto& [call, occurrence, null_success] = key;
    SCOPED_TRACE(call + " #" + std::to_string(occurrence) + (null_success ? " null" : ""));
    Scenario s;
    build(s);
    s.windows.fail({call, occurrence, COM_CALLS.contains(call) ? E_FAIL_CODE : CR_FAILURE_CODE, null_success});
    const RunOutcome outcome = s.run();
    const auto listed = outcomes.find(key);
    const Outcome& expected = listed == outcomes.end() ? READY : listed->second;
    EXPECT_EQ(outcome.exit_status, expected.exit_status);
    EXPECT_EQ(outcome.standard_error, expected.standard_error);
    EXPECT_EQ(s.windows.calls("SetupDiGetINFClassW"), expected.installs ? 1u : 0u);
    EXPECT_TRUE(s.windows.driver_updates.empty());  // the existing device is found; no driver is replaced
    EXPECT_EQ(s.windows.leaks(), "");
    EXPECT_TRUE(s.windows.com_balanced());
    exercised.insert(key);
  }
  for (const auto& [key, outcome] : outcomes) EXPECT_TRUE(exercised.contains(key)) << std::get<0>(key);
}

// Every failure of the per-endpoint COM work removes the VB-CABLE render endpoint.
void add_com_failures(std::map<FaultKey, Outcome>& outcomes) {
  for (const std::string& call : COM_CALLS) {
    outcomes[{call, 1, false}] = MISSING;
    if (INTERFACE_CALLS.contains(call)) outcomes[{call, 1, true}] = MISSING;
  }
}

TEST(DetectFaults, VbCableAlone) {
  // Devnodes: 1 cable, 2 capture, 3 render; endpoints listed capture first.
  std::map<FaultKey, Outcome> outcomes{
      {{"CM_Get_Device_ID_List_SizeW", 1, false}, NO_IDENTITIES},
      {{"CM_Locate_DevNodeW", 1, false}, INSTALLS},
      {{"CM_Get_DevNode_Registry_PropertyW", 1, false}, INSTALLS},
      {{"CM_Get_DevNode_Status", 1, false}, NOT_STARTED},
      {{"CM_Locate_DevNodeW", 4, false}, MISSING},  // capture ancestry
      {{"CM_Get_Parent", 1, false}, MISSING},
      {{"CM_Locate_DevNodeW", 5, false}, MISSING},  // render ancestry
      {{"CM_Get_Parent", 2, false}, MISSING},
  };
  add_com_failures(outcomes);
  expect_every_fault([](Scenario& s) { add_ready_vb_cable(s); }, outcomes);
}

TEST(DetectFaults, HiFiCableFailuresNeverReachTheRun) {
  // Devnodes: 1 VB-CABLE, 2 and 3 its capture and render, 4 Hi-Fi Cable, 5 and 6 its endpoints.
  // Listed: VB capture, Hi-Fi capture, VB render, Hi-Fi render.
  const auto build = [](Scenario& s) {
    add_ready_vb_cable(s);
    const DevInst hifi = add_cable(s.windows, {u"VBAudioHFVAIO"});
    s.endpoints.insert(s.endpoints.begin() + 1,
                       add_cable_endpoint(s.windows, hifi, "hifi-capture", EndpointDirection::Capture));
    s.endpoints.push_back(add_cable_endpoint(s.windows, hifi, "hifi-render", EndpointDirection::Render));
  };
  std::map<FaultKey, Outcome> outcomes{
      {{"CM_Get_Device_ID_List_SizeW", 1, false}, NO_IDENTITIES},
      {{"CM_Locate_DevNodeW", 1, false}, INSTALLS},
      {{"CM_Get_DevNode_Registry_PropertyW", 1, false}, INSTALLS},
      {{"CM_Get_DevNode_Status", 1, false}, NOT_STARTED},
      {{"CM_Locate_DevNodeW", 7, false}, MISSING},  // VB capture ancestry
      {{"CM_Get_Parent", 1, false}, MISSING},
      {{"CM_Locate_DevNodeW", 9, false}, MISSING},  // VB render ancestry
      {{"CM_Get_Parent", 4, false}, MISSING},
  };
  add_com_failures(outcomes);
  expect_every_fault(build, outcomes);
}

}  // namespace
}  // namespace orvane::test
