// Whole runs in which one installation call fails: the error line, the removal of a device that
// got no driver, and the release of every device list.
#include <algorithm>

#include <gtest/gtest.h>

#include "tests/scenarios/scenario.h"

namespace orvane::test {
namespace {

struct StepFault {
  const char* label;
  const char* call;
  std::size_t lists_opened;
  bool removes_device;
  friend void PrintTo(const StepFault& value, std::ostream* out) { *out << value.label; }
};

const StepFault STEP_FAULTS[] = {
    {"read signed INF", "SetupDiGetINFClassW", 0, false},
    {"enumerate audio adapters", "SetupDiGetClassDevsW", 0, false},
    {"enumerate adapter", "SetupDiEnumDeviceInfo", 1, false},
    {"create device list", "SetupDiCreateDeviceInfoList", 1, false},
    {"create cable device", "SetupDiCreateDeviceInfoW", 2, false},
    {"set cable hardware identity", "SetupDiSetDeviceRegistryPropertyW", 2, false},
    {"register cable device", "SetupDiCallClassInstaller(DIF_REGISTERDEVICE)", 2, false},
    {"install signed cable", "UpdateDriverForPlugAndPlayDevicesW", 2, true},
};

struct CodeCase {
  std::uint32_t code;
  const char* text;
  friend void PrintTo(const CodeCase& value, std::ostream* out) { *out << value.text; }
};

const CodeCase CODES[] = {{5, "5"}, {0xE0000247, "3758096967"}};

class InstallFault : public testing::TestWithParam<std::tuple<StepFault, CodeCase>> {};

TEST_P(InstallFault, ReportsTheStepAndLeavesNothingBehind) {
  const auto& [step, code] = GetParam();
  Scenario scenario;
  sim::SimWindows& windows = scenario.windows;
  windows.fail({step.call, 1, code.code});

  const RunOutcome outcome = scenario.run();
  EXPECT_EQ(outcome.exit_status, 1u);
  EXPECT_EQ(outcome.standard_error,
            "ORVANE_DRIVER_SETUP " + std::string(step.label) + ": Windows error " + code.text + "\n");

  EXPECT_EQ(windows.calls("SetupDiCallClassInstaller(DIF_REMOVE)"), step.removes_device ? 1u : 0u);
  if (step.removes_device) {
    EXPECT_EQ(windows.class_installer_calls, (std::vector<std::uint32_t>{DIF_REGISTERDEVICE_CODE, DIF_REMOVE_CODE}));
  }
  // Each opened list released once, the most recently opened (numbered higher) first.
  EXPECT_EQ(windows.destroyed_lists.size(), step.lists_opened);
  EXPECT_TRUE(std::is_sorted(windows.destroyed_lists.rbegin(), windows.destroyed_lists.rend()));
  EXPECT_EQ(windows.leaks(), "");
  EXPECT_TRUE(windows.registered_devices_without_driver().empty());
  for (const DevInst devinst : windows.devices_with_hardware_id(u"VBAudioVACWDM")) {
    EXPECT_FALSE(windows.device(devinst).present);
  }
}

INSTANTIATE_TEST_SUITE_P(Steps, InstallFault,
                         testing::Combine(testing::ValuesIn(STEP_FAULTS), testing::ValuesIn(CODES)),
                         [](const testing::TestParamInfo<InstallFault::ParamType>& param_info) {
                           std::string name = std::get<0>(param_info.param).label;
                           std::replace(name.begin(), name.end(), ' ', '_');
                           return name + "_" + std::get<1>(param_info.param).text;
                         });

struct UpdateAndRemovalCase {
  std::uint32_t update_code;
  std::uint32_t removal_code;
  const char* line;
  friend void PrintTo(const UpdateAndRemovalCase& value, std::ostream* out) { *out << value.line; }
};

class UpdateAndRemovalFail : public testing::TestWithParam<UpdateAndRemovalCase> {};

TEST_P(UpdateAndRemovalFail, MessageCarriesTheUpdatesCode) {
  Scenario scenario;
  scenario.windows.fail({"UpdateDriverForPlugAndPlayDevicesW", 1, GetParam().update_code});
  scenario.windows.fail({"SetupDiCallClassInstaller(DIF_REMOVE)", 1, GetParam().removal_code});
  const RunOutcome outcome = scenario.run();
  EXPECT_EQ(outcome.exit_status, 1u);
  EXPECT_EQ(outcome.standard_error, GetParam().line);
  EXPECT_EQ(scenario.windows.calls("SetupDiCallClassInstaller(DIF_REMOVE)"), 1u);
  EXPECT_EQ(scenario.windows.destroyed_lists.size(), 2u);
  EXPECT_EQ(scenario.windows.leaks(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Codes, UpdateAndRemovalFail,
    testing::Values(
        UpdateAndRemovalCase{0xE0000247, 5, "ORVANE_DRIVER_SETUP install signed cable: Windows error 3758096967\n"},
        UpdateAndRemovalCase{5, 0xE0000247, "ORVANE_DRIVER_SETUP install signed cable: Windows error 5\n"}));

}  // namespace
}  // namespace orvane::test
