// Whole runs that reach the installation: no cable device is seen by detection, and SetupAPI
// decides whether a device is created.
#include <gtest/gtest.h>

#include "install/cable_device.h"
#include "tests/scenarios/scenario.h"

namespace orvane::test {
namespace {

using sim::media_class_device;
using namespace std::string_literals;

std::vector<DevInst> present_cables(sim::SimWindows& windows) {
  std::vector<DevInst> present;
  for (const DevInst devinst : windows.devices_with_hardware_id(u"VBAudioVACWDM")) {
    if (windows.device(devinst).present) present.push_back(devinst);
  }
  return present;
}

TEST(InstallRun, NoCableDeviceCreatesAndInstallsOne) {
  Scenario scenario;
  const RunOutcome outcome = scenario.run();
  EXPECT_EQ(outcome.exit_status, 0u);
  EXPECT_EQ(outcome.standard_error, "");

  sim::SimWindows& windows = scenario.windows;
  const auto cables = present_cables(windows);
  ASSERT_EQ(cables.size(), 1u);
  const sim::Device& cable = windows.device(cables[0]);
  EXPECT_EQ(cable.instance_id, u"ROOT\\MEDIA\\0000");
  EXPECT_TRUE(cable.registered_by_setup_api);
  EXPECT_EQ(cable.installed_inf, u"C:\\Tools\\drivers/vbcable\\vbMmeCable64_win10.inf");
  ASSERT_EQ(windows.driver_updates.size(), 1u);
  EXPECT_EQ(windows.driver_updates[0].inf_path, u"C:\\Tools\\drivers/vbcable\\vbMmeCable64_win10.inf");
  EXPECT_EQ(windows.driver_updates[0].hardware_id, u"VBAudioVACWDM");
  EXPECT_EQ(windows.class_installer_calls, std::vector<std::uint32_t>{DIF_REGISTERDEVICE_CODE});
  EXPECT_EQ(windows.destroyed_lists.size(), 2u);
  EXPECT_EQ(windows.leaks(), "");
}

TEST(InstallRun, RestartRequestGivesRebootStatusAndKeepsTheDevice) {
  Scenario scenario;
  scenario.windows.update_sets_reboot = 1;
  const RunOutcome outcome = scenario.run();
  EXPECT_EQ(outcome.exit_status, 3010u);
  EXPECT_EQ(outcome.standard_error, "");
  const auto cables = present_cables(scenario.windows);
  ASSERT_EQ(cables.size(), 1u);
  EXPECT_TRUE(scenario.windows.device(cables[0]).installed_inf.has_value());
  EXPECT_EQ(scenario.windows.calls("SetupDiCallClassInstaller(DIF_REMOVE)"), 0u);
  EXPECT_EQ(scenario.windows.leaks(), "");
}

// Detection reads the tree through the configuration manager, the installation through SetupAPI.
// Where the configuration manager lists no device (Wine's stubs write nothing, or the device
// appeared after detection), a SetupAPI device reaches the existing-device check.
void hide_devices_from_configuration_manager(Scenario& scenario) {
  scenario.windows.device_id_list_override = u"";
}

enum class Expect : std::uint8_t { Created, Kept, Unhealthy };

struct ExistingCase {
  const char* name;
  sim::Device device;
  Expect expect;
  friend void PrintTo(const ExistingCase& value, std::ostream* out) { *out << value.name; }
};

sim::Device raw_ids(std::u16string units) {
  sim::Device device = media_class_device({});
  device.raw_hardware_ids = std::move(units);
  return device;
}

class ExistingDeviceRun : public testing::TestWithParam<ExistingCase> {};

TEST_P(ExistingDeviceRun, ExitStatusFollowsTheCheck) {
  Scenario scenario;
  hide_devices_from_configuration_manager(scenario);
  scenario.windows.add_device(GetParam().device);
  const RunOutcome outcome = scenario.run();
  sim::SimWindows& windows = scenario.windows;
  switch (GetParam().expect) {
    case Expect::Created:
      EXPECT_EQ(outcome.exit_status, 0u);
      EXPECT_EQ(outcome.standard_error, "");
      EXPECT_EQ(windows.driver_updates.size(), 1u);
      EXPECT_EQ(windows.calls("SetupDiCreateDeviceInfoW"), 1u);
      break;
    case Expect::Kept:
      EXPECT_EQ(outcome.exit_status, 0u);
      EXPECT_EQ(outcome.standard_error, "");
      EXPECT_TRUE(windows.driver_updates.empty());
      EXPECT_EQ(windows.calls("SetupDiCreateDeviceInfoList"), 0u);
      break;
    case Expect::Unhealthy:
      EXPECT_EQ(outcome.exit_status, 1u);
      EXPECT_EQ(outcome.standard_error,
                "ORVANE_DRIVER_SETUP Existing VB-CABLE device is not healthy; check Device Manager or restart "
                "Windows. No driver was replaced.\n");
      EXPECT_TRUE(windows.driver_updates.empty());
      EXPECT_EQ(windows.calls("SetupDiCreateDeviceInfoList"), 0u);
      break;
  }
  EXPECT_EQ(windows.leaks(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Devices, ExistingDeviceRun,
    testing::Values(ExistingCase{"healthy", media_class_device({u"VBAudioVACWDM"}), Expect::Kept},
                    ExistingCase{"lower_case", media_class_device({u"vbaudiovacwdm"}), Expect::Kept},
                    ExistingCase{"suffix_not_found", media_class_device({u"VBAudioVACWDM_2"}), Expect::Created},
                    ExistingCase{"over_4096_bytes", raw_ids(std::u16string(2040, u'x') + u"\0VBAudioVACWDM\0\0"s),
                                 Expect::Created},
                    ExistingCase{"started_with_problem", media_class_device({u"VBAudioVACWDM"}, DN_STARTED_BIT, 31),
                                 Expect::Unhealthy}),
    CaseName{});

TEST(InstallRun, UnreadableIdsArePassedOverAndOnlyTheFirstMatchIsJudged) {
  Scenario scenario;
  hide_devices_from_configuration_manager(scenario);
  sim::Device unreadable = media_class_device({});
  unreadable.has_hardware_ids = false;
  scenario.windows.add_device(unreadable);
  scenario.windows.add_device(media_class_device({u"VBAudioVACWDM"}));
  const DevInst second = scenario.windows.add_device(media_class_device({u"VBAudioVACWDM"}, 0, 22));
  const RunOutcome outcome = scenario.run();
  EXPECT_EQ(outcome.exit_status, 0u);
  EXPECT_EQ(outcome.standard_error, "");
  EXPECT_EQ(scenario.windows.calls("CM_Get_DevNode_Status"), 1u);
  EXPECT_EQ(scenario.windows.device(second).problem, 22u);
  EXPECT_TRUE(scenario.windows.driver_updates.empty());
}

TEST(InstallRun, StatusThatCannotBeReadFailsAsNotHealthy) {
  Scenario scenario;
  hide_devices_from_configuration_manager(scenario);
  scenario.windows.add_device(media_class_device({u"VBAudioVACWDM"}));
  scenario.windows.fail({"CM_Get_DevNode_Status", 0, sim::CR_NO_SUCH_DEVNODE_CODE});
  const RunOutcome outcome = scenario.run();
  EXPECT_EQ(outcome.exit_status, 1u);
  EXPECT_EQ(outcome.standard_error, "ORVANE_DRIVER_SETUP " + std::string(UNHEALTHY_CABLE_DEVICE_MESSAGE) + "\n");
}

TEST(InstallRun, DeviceOfAnotherClassIsNotTheCable) {
  Scenario scenario;
  hide_devices_from_configuration_manager(scenario);
  sim::Device elsewhere = media_class_device({u"VBAudioVACWDM"});
  elsewhere.class_guid.data1 ^= 1;
  scenario.windows.add_device(elsewhere);
  EXPECT_EQ(scenario.run().exit_status, 0u);
  EXPECT_EQ(scenario.windows.calls("SetupDiCreateDeviceInfoW"), 1u);
}

TEST(InstallRun, RunAfterInstallationThatStillReachesTheCheckCreatesNoSecondDevice) {
  Scenario scenario;
  hide_devices_from_configuration_manager(scenario);
  ASSERT_EQ(scenario.run().exit_status, 0u);
  const RunOutcome again = scenario.run();
  EXPECT_EQ(again.exit_status, 0u);
  EXPECT_EQ(again.standard_error, "");
  EXPECT_EQ(present_cables(scenario.windows).size(), 1u);
  EXPECT_EQ(scenario.windows.driver_updates.size(), 1u);
  EXPECT_EQ(scenario.windows.leaks(), "");
}

TEST(InstallRun, RunAfterInstallationSeenByDetectionInstallsNothing) {
  Scenario scenario;
  ASSERT_EQ(scenario.run().exit_status, 0u);
  const unsigned lists_before = scenario.windows.calls("SetupDiGetClassDevsW");
  // The new device is started, but its endpoints are not there yet.
  EXPECT_EQ(scenario.run().exit_status, 3010u);
  EXPECT_EQ(scenario.windows.calls("SetupDiGetClassDevsW"), lists_before);
  EXPECT_EQ(present_cables(scenario.windows).size(), 1u);
}

}  // namespace
}  // namespace orvane::test
