// install_cable_driver against the simulated Windows: what is created, what is left alone, and
// which device lists are released.
#include "install/install.h"

#include <algorithm>
#include <cstring>

#include <gtest/gtest.h>

#include "tests/scenarios/scenario.h"
#include "tests/sim/sim_windows.h"

namespace orvane {
namespace {

using test::CaseName;

using namespace std::string_literals;

constexpr Guid MEDIA_CLASS = sim::MEDIA_CLASS_GUID;
constexpr char16_t PACKAGE[] = u"D:\\Apps\\Orvane\\drivers/vbcable";
constexpr char16_t INF[] = u"D:\\Apps\\Orvane\\drivers/vbcable\\vbMmeCable64_win10.inf";

class Install : public testing::Test {
 protected:
  Install() { windows.inf_classes[INF] = {MEDIA_CLASS, u"MEDIA"}; }

  SetupResult<RebootRequired> install() { return install_cable_driver(windows, windows, PACKAGE); }

  DevInst add_class_device(std::vector<std::u16string> ids, std::uint32_t status = DN_STARTED_BIT,
                           std::uint32_t problem = 0) {
    return windows.add_device(sim::media_class_device(std::move(ids), status, problem));
  }

  // The simulation numbers device lists in the order they are opened, so newest-first release
  // shows as a strictly falling sequence.
  void expect_lists_released_newest_first(std::size_t opened) {
    EXPECT_EQ(windows.destroyed_lists.size(), opened);
    EXPECT_TRUE(std::adjacent_find(windows.destroyed_lists.begin(), windows.destroyed_lists.end(),
                                   std::less_equal<>()) == windows.destroyed_lists.end());
    EXPECT_EQ(windows.leaks(), "");
  }

  sim::SimWindows windows;
};

class FreshInstall : public Install, public testing::WithParamInterface<std::int32_t> {};

TEST_P(FreshInstall, CreatesRegistersAndInstallsOneRootDevice) {
  windows.update_sets_reboot = GetParam();
  const auto result = install();
  ASSERT_TRUE(result.has_value()) << result.error().message;
  EXPECT_EQ(*result, GetParam() != 0);

  const auto cables = windows.devices_with_hardware_id(u"VBAudioVACWDM");
  ASSERT_EQ(cables.size(), 1u);
  const sim::Device& cable = windows.device(cables[0]);
  EXPECT_EQ(cable.instance_id, u"ROOT\\MEDIA\\0000");
  EXPECT_EQ(cable.class_guid, MEDIA_CLASS);
  EXPECT_EQ(cable.hardware_ids, std::vector<std::u16string>{u"VBAudioVACWDM"});
  EXPECT_TRUE(cable.present);
  EXPECT_EQ(cable.installed_inf, std::u16string(INF));

  EXPECT_EQ(windows.get_class_devs_flags, std::vector<std::uint32_t>{DIGCF_PRESENT_FLAG});
  EXPECT_EQ(windows.create_device_info_flags, std::vector<std::uint32_t>{DICD_GENERATE_ID_FLAG});
  const std::u16string multi = u"VBAudioVACWDM\0\0"s;
  ASSERT_EQ(windows.hardware_id_properties_set.size(), 1u);
  ASSERT_EQ(windows.hardware_id_properties_set[0].size(), 30u);
  EXPECT_EQ(std::memcmp(windows.hardware_id_properties_set[0].data(), multi.data(), 30), 0);
  EXPECT_EQ(windows.class_installer_calls, std::vector<std::uint32_t>{DIF_REGISTERDEVICE_CODE});
  ASSERT_EQ(windows.driver_updates.size(), 1u);
  EXPECT_EQ(windows.driver_updates[0].hardware_id, u"VBAudioVACWDM");
  EXPECT_EQ(windows.driver_updates[0].inf_path, INF);
  EXPECT_EQ(windows.driver_updates[0].flags, 0u);
  EXPECT_EQ(windows.driver_updates[0].reboot_in, 0);
  EXPECT_TRUE(windows.registered_devices_without_driver().empty());
  expect_lists_released_newest_first(2);
}

// Any non-zero BOOL is a restart request.
INSTANTIATE_TEST_SUITE_P(RestartFlag, FreshInstall, testing::Values(0, 1, -1, 2));

enum class Outcome : std::uint8_t { Created, Kept, Unhealthy };

struct ExistingCase {
  const char* name;
  std::vector<std::vector<std::u16string>> ids;  // one device per entry, in enumeration order
  std::vector<std::pair<std::uint32_t, std::uint32_t>> status_problem;  // by device; started when absent
  Outcome outcome;
  friend void PrintTo(const ExistingCase& value, std::ostream* out) { *out << value.name; }
};

class ExistingDevice : public Install, public testing::WithParamInterface<ExistingCase> {};

TEST_P(ExistingDevice, CreatesOnlyWhenNoPresentDeviceCarriesTheId) {
  const ExistingCase& param = GetParam();
  for (std::size_t at = 0; at < param.ids.size(); ++at) {
    const auto [status, problem] = at < param.status_problem.size() ? param.status_problem[at]
                                                                     : std::pair{DN_STARTED_BIT, 0u};
    add_class_device(param.ids[at], status, problem);
  }
  const auto result = install();
  switch (param.outcome) {
    case Outcome::Created:
      ASSERT_TRUE(result.has_value()) << result.error().message;
      EXPECT_EQ(windows.driver_updates.size(), 1u);
      EXPECT_EQ(windows.calls("SetupDiCreateDeviceInfoW"), 1u);
      expect_lists_released_newest_first(2);
      return;
    case Outcome::Kept:
      ASSERT_TRUE(result.has_value()) << result.error().message;
      EXPECT_FALSE(*result);
      break;
    case Outcome::Unhealthy:
      ASSERT_FALSE(result.has_value());
      EXPECT_EQ(result.error().message,
                "Existing VB-CABLE device is not healthy; check Device Manager or restart Windows. No driver was "
                "replaced.");
      break;
  }
  EXPECT_EQ(windows.calls("SetupDiCreateDeviceInfoList"), 0u);
  EXPECT_EQ(windows.calls("SetupDiCreateDeviceInfoW"), 0u);
  EXPECT_TRUE(windows.driver_updates.empty());
  EXPECT_TRUE(windows.class_installer_calls.empty());
  EXPECT_EQ(windows.calls("CM_Get_DevNode_Status"), 1u);
  expect_lists_released_newest_first(1);
}

const std::vector<std::u16string> CABLE_IDS{u"VBAudioVACWDM"};

INSTANTIATE_TEST_SUITE_P(
    Devices, ExistingDevice,
    testing::Values(
        ExistingCase{"empty_class", {}, {}, Outcome::Created},
        ExistingCase{"healthy", {CABLE_IDS}, {}, Outcome::Kept},
        ExistingCase{"hifi_cable_only", {{u"VBAudioHFVAIO"}}, {}, Outcome::Created},
        ExistingCase{"not_started", {CABLE_IDS}, {{0, 0}}, Outcome::Unhealthy},
        ExistingCase{"first_healthy_second_not", {CABLE_IDS, CABLE_IDS}, {{DN_STARTED_BIT, 0}, {0, 22}},
                     Outcome::Kept},
        ExistingCase{"first_unhealthy_second_healthy", {CABLE_IDS, CABLE_IDS}, {{0, 22}}, Outcome::Unhealthy}),
    CaseName{});

TEST_F(Install, StatusThatCannotBeReadIsNotHealthy) {
  add_class_device(CABLE_IDS);
  windows.fail({"CM_Get_DevNode_Status", 1, sim::CR_NO_SUCH_DEVNODE_CODE});
  const auto result = install();
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error().message, std::string(UNHEALTHY_CABLE_DEVICE_MESSAGE));
  EXPECT_TRUE(windows.driver_updates.empty());
}

TEST_F(Install, DeviceKeptOnlyAsNonPresentGetsANewOne) {
  const DevInst old = add_class_device(CABLE_IDS);
  windows.device(old).present = false;
  const auto result = install();
  ASSERT_TRUE(result.has_value()) << result.error().message;
  EXPECT_EQ(windows.calls("SetupDiCreateDeviceInfoW"), 1u);
  EXPECT_FALSE(windows.device(old).installed_inf.has_value());  // the update reaches present devices only
}

TEST_F(Install, SecondInstallFindsTheFirstDevice) {
  ASSERT_TRUE(install().has_value());
  windows.destroyed_lists.clear();
  const auto again = install();
  ASSERT_TRUE(again.has_value()) << again.error().message;
  EXPECT_FALSE(*again);
  EXPECT_EQ(windows.devices_with_hardware_id(u"VBAudioVACWDM").size(), 1u);
  EXPECT_EQ(windows.driver_updates.size(), 1u);
  expect_lists_released_newest_first(1);
}

TEST_F(Install, MissingInfOpensNothing) {
  const auto result = install_cable_driver(windows, windows, u"D:\\elsewhere\\drivers/vbcable");
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error().message, "read signed INF: Windows error 2");
  EXPECT_EQ(windows.calls("SetupDiGetClassDevsW"), 0u);
  expect_lists_released_newest_first(0);
}

TEST(HardwareIdMultiString, IsTheIdAndTwoNuls) {
  const std::u16string multi = hardware_id_multi_string(CABLE_HARDWARE_ID);
  EXPECT_EQ(multi, u"VBAudioVACWDM\0\0"s);
  EXPECT_EQ(multi.size() * sizeof(char16_t), 30u);
}

}  // namespace
}  // namespace orvane
