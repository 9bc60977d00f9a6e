// The installation with the real Windows code: install_cable_driver through the SetupAPI and
// configuration-manager adapters, in a prefix of its own, with the test package's INF.
#include <gtest/gtest.h>

#include "install/install.h"
#include "platform/text.h"
#include "setup/run.h"
#include "tests/windows/test_devices.h"
#include "tests/windows/test_files.h"
#include "tests/windows/test_package.h"
#include "windows/windows_config_manager.h"
#include "windows/windows_setup_api.h"

namespace orvane {
namespace {

constexpr char NOT_HEALTHY[] =
    "Existing VB-CABLE device is not healthy; check Device Manager or restart Windows. No driver was replaced.";

// Windows makes the instance id from the class name in upper case.
constexpr char16_t TEST_CABLE_INSTANCE_ID[] = u"ROOT\\ORVANETESTCABLE\\0000";

class InstallFlow : public testing::Test {
 protected:
  void SetUp() override {
    test::remove_test_class_devices();
    ASSERT_TRUE(test::test_class_devices().empty());
  }
  void TearDown() override { test::remove_test_class_devices(); }

  SetupResult<RebootRequired> install() { return install_cable_driver(setup_, config_, package_folder_); }

  windows::WindowsSetupApi setup_;
  windows::WindowsConfigManager config_;
  test::TempFolder application_{u"install-flow"};
  // As the run builds it, with its forward slash.
  std::u16string package_folder_ = driver_package_folder(application_.path());
};

TEST_F(InstallFlow, CreatesAndInstallsOneCableDeviceThenFindsIt) {
  ASSERT_TRUE(test::install_test_package(package_folder_));

  EXPECT_EQ(install(), SetupResult<RebootRequired>(false));
  auto devices = test::test_class_devices();
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices[0].instance_id, TEST_CABLE_INSTANCE_ID);
  EXPECT_EQ(devices[0].hardware_ids, std::u16string(u"VBAudioVACWDM\0\0", 15));
  // The driver update ran the INF's model on the device.
  EXPECT_EQ(devices[0].description, test::TEST_CABLE_DEVICE_DESCRIPTION);
  EXPECT_FALSE(devices[0].driver_key.empty());

  // Wine reports no started bit, so the device found again counts as not healthy.
  EXPECT_EQ(install(), setup_failure(NOT_HEALTHY));
  devices = test::test_class_devices();
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices[0].instance_id, TEST_CABLE_INSTANCE_ID);
}

TEST_F(InstallFlow, AMissingInfFailsBeforeAnythingIsCreated) {
  ASSERT_TRUE(test::install_test_package(package_folder_));
  test::remove_tree(package_folder_ + u"\\vbMmeCable64_win10.inf");

  EXPECT_EQ(install(), setup_failure("read signed INF: Windows error 2"));
  EXPECT_TRUE(test::test_class_devices().empty());
}

}  // namespace
}  // namespace orvane
