// The whole test build under Wine: package check, detection (Wine's configuration manager lists
// no devices, so VB-CABLE is not installed) and the installation on the test INF's class.
#include <gtest/gtest.h>

#include <regex>

#include "tests/windows/program_run.h"
#include "tests/windows/test_devices.h"
#include "tests/windows/test_files.h"
#include "tests/windows/test_package.h"
#include "tests/windows/test_paths.h"

namespace orvane {
namespace {

class WholeRun : public testing::Test {
 protected:
  void SetUp() override {
    test::remove_test_class_devices();
    ASSERT_TRUE(test::test_class_devices().empty());
  }
  void TearDown() override { test::remove_test_class_devices(); }

  static void expect_one_installed_device() {
    const auto devices = test::test_class_devices();
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].hardware_ids, std::u16string(u"VBAudioVACWDM\0\0", 15));
    EXPECT_EQ(devices[0].description, test::TEST_CABLE_DEVICE_DESCRIPTION);
  }

  test::TempFolder folder_{u"whole-run"};
};

bool is_diagnostics_line(const std::string& text) {
  return std::regex_match(text, std::regex(test::DIAGNOSTICS_LINE_PATTERN));
}

TEST_F(WholeRun, InstallsTheCableAndExitsWithZero) {
  const test::InstalledProgram program(test::TEST_BUILD_PROGRAM, folder_.path());
  ASSERT_TRUE(program.copied());
  ASSERT_TRUE(test::install_test_package(program.package_folder()));

  const auto outcome = program.run();
  ASSERT_TRUE(outcome.has_value()) << outcome.error();
  EXPECT_EQ(outcome->exit_code, 0u);
  EXPECT_EQ(outcome->standard_output, "");
  EXPECT_TRUE(is_diagnostics_line(outcome->standard_error)) << outcome->standard_error;
  expect_one_installed_device();
}

// Every package file is read in its extended-length form (247 characters or more) and the test
// package's .cat and .sys paths exceed 260 characters; the INF path stays at 259, since SetupAPI
// (Wine's, and Windows' too) does not open longer INF paths.
TEST_F(WholeRun, VerifiesLongPackagePathsAndInstallsFromThem) {
  constexpr std::u16string_view INF_BELOW_FOLDER = u"\\drivers/vbcable\\vbMmeCable64_win10.inf";
  const std::u16string folder = test::deep_folder(folder_.path(), 259 - INF_BELOW_FOLDER.size());
  const test::InstalledProgram program(test::TEST_BUILD_PROGRAM, folder);
  ASSERT_TRUE(program.copied());
  ASSERT_TRUE(test::install_test_package(program.package_folder()));
  ASSERT_EQ((program.package_folder() + u"\\readme.txt").size(), 247u);
  ASSERT_GT((program.package_folder() + u"\\vbaudio_cable64_win10.sys").size(), 260u);

  const auto outcome = program.run();
  ASSERT_TRUE(outcome.has_value()) << outcome.error();
  EXPECT_EQ(outcome->exit_code, 0u) << outcome->standard_error;
  EXPECT_TRUE(is_diagnostics_line(outcome->standard_error)) << outcome->standard_error;
  expect_one_installed_device();
}

TEST_F(WholeRun, ASecondRunFindsTheDeviceAndReplacesNoDriver) {
  const test::InstalledProgram program(test::TEST_BUILD_PROGRAM, folder_.path());
  ASSERT_TRUE(program.copied());
  ASSERT_TRUE(test::install_test_package(program.package_folder()));
  ASSERT_TRUE(program.run().has_value());

  const auto outcome = program.run();
  ASSERT_TRUE(outcome.has_value()) << outcome.error();
  EXPECT_EQ(outcome->exit_code, 1u);
  EXPECT_EQ(outcome->standard_output, "");
  // The diagnostics line comes first, then the error line.
  const std::string error_line =
      "ORVANE_DRIVER_SETUP Existing VB-CABLE device is not healthy; check Device Manager or restart Windows. "
      "No driver was replaced.\n";
  ASSERT_TRUE(outcome->standard_error.ends_with(error_line)) << outcome->standard_error;
  EXPECT_TRUE(is_diagnostics_line(outcome->standard_error.substr(0, outcome->standard_error.size() - error_line.size())))
      << outcome->standard_error;
  expect_one_installed_device();
}

}  // namespace
}  // namespace orvane
