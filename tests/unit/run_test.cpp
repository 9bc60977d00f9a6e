#include "setup/run.h"

#include <gtest/gtest.h>

#include "platform/text.h"
#include "tests/scenarios/scenario.h"

namespace orvane {
namespace {

using test::Scenario;

TEST(ErrorLine, IsPrefixMessageAndOneLineFeed) {
  EXPECT_EQ(error_line(SetupError{"create cable device: Windows error 5"}),
            "ORVANE_DRIVER_SETUP create cable device: Windows error 5\n");
  EXPECT_EQ(error_line(SetupError{"caf\xc3\xa9 \"quoted\""}), "ORVANE_DRIVER_SETUP caf\xc3\xa9 \"quoted\"\n");
  EXPECT_EQ(ERROR_LINE_PREFIX.size(), 20u);
}

TEST(ExitStatus, MapsTheRunResult) {
  sim::SimWindows windows;
  EXPECT_EQ(finish_run(windows, false), 0u);
  EXPECT_EQ(finish_run(windows, true), 3010u);
  EXPECT_EQ(windows.stderr_bytes, "");
  EXPECT_EQ(finish_run(windows, setup_failure("missing application folder")), 1u);
  EXPECT_EQ(windows.stderr_bytes, "ORVANE_DRIVER_SETUP missing application folder\n");
}

TEST(ExitStatus, FailureWithoutStandardErrorStillExitsOne) {
  sim::SimWindows windows;
  windows.has_stderr = false;
  EXPECT_EQ(finish_run(windows, setup_failure("driver setup takes no arguments")), 1u);
  EXPECT_EQ(windows.stderr_bytes, "");
}

TEST(WindowsStepError, RendersTheCodeInUnsignedDecimal) {
  EXPECT_EQ(windows_step_error("read signed INF", WindowsError{2}).message, "read signed INF: Windows error 2");
  EXPECT_EQ(windows_step_error("install signed cable", WindowsError{0xE0000247}).message,
            "install signed cable: Windows error 3758096967");
}

TEST(CableStatusDecision, ActsOnTheVbCableStatusAlone) {
  struct Case {
    CableStatus status;
    SetupResult<RebootRequired> expected;
    bool installs;
  };
  const SetupResult<RebootRequired> installed = true;  // what the stand-in installation returns
  const Case cases[] = {
      {{CableStatusKind::NotInstalled, ""}, installed, true},
      {{CableStatusKind::EndpointsMissing, ""}, true, false},
      {{CableStatusKind::RestartRequired, ""}, true, false},
      {{CableStatusKind::Ready, ""}, false, false},
      {{CableStatusKind::Problem, "Driver is not started; check Device Manager and restart Windows"},
       setup_failure("Driver is not started; check Device Manager and restart Windows"), false},
  };
  for (const Case& c : cases) {
    int installs = 0;
    const auto result = act_on_cable_status(c.status, [&] {
      ++installs;
      return installed;
    });
    EXPECT_EQ(result, c.expected) << static_cast<int>(c.status.kind);
    EXPECT_EQ(installs, c.installs ? 1 : 0) << static_cast<int>(c.status.kind);
  }
  const auto failed_install = act_on_cable_status({CableStatusKind::NotInstalled, ""},
                                                  [] { return SetupResult<RebootRequired>(setup_failure("x")); });
  EXPECT_EQ(failed_install, SetupResult<RebootRequired>(setup_failure("x")));
}

TEST(ApplicationFolder, IsTheParentAndADriveRootKeepsItsBackslash) {
  struct Case {
    std::u16string executable;
    std::u16string folder;  // empty: "missing application folder"
  };
  const Case cases[] = {
      {u"C:\\Tools\\setup.exe", u"C:\\Tools"},
      {u"C:\\setup.exe", u"C:\\"},
      {u"C:\\Tools\\\\setup.exe", u"C:\\Tools"},
      {u"C:/Tools/setup.exe", u"C:/Tools"},
      {u"\\\\server\\share\\setup.exe", u"\\\\server\\share\\"},
      {u"\\\\server\\share\\app\\setup.exe", u"\\\\server\\share\\app"},
      {u"\\\\?\\C:\\Deep\\setup.exe", u"\\\\?\\C:\\Deep"},
      {u"\\\\?\\C:\\setup.exe", u"\\\\?\\C:\\"},
      {u"C:\\", u""},
      {u"C:", u""},
      {u"\\", u""},
      {u"\\\\server\\share\\", u""},
      {u"setup.exe", u""},
      {u"", u""},
  };
  for (const Case& c : cases) {
    const auto folder = application_folder(c.executable);
    if (c.folder.empty()) {
      ASSERT_FALSE(folder.has_value()) << utf16_to_utf8(c.executable);
      EXPECT_EQ(folder.error().message, "missing application folder");
    } else {
      EXPECT_EQ(folder.value_or(u"<error>"), c.folder) << utf16_to_utf8(c.executable);
    }
  }
}

TEST(DriverPackageFolder, KeepsItsForwardSlashAndAddsNoDoubledBackslash) {
  EXPECT_EQ(driver_package_folder(u"C:\\Tools"), u"C:\\Tools\\drivers/vbcable");
  EXPECT_EQ(driver_package_folder(u"C:\\"), u"C:\\drivers/vbcable");
}

TEST(ExecutablePath, GrowsTheBufferUntilTheWholePathFits) {
  sim::SimWindows windows;
  windows.module_path = u"\\\\?\\C:\\" + std::u16string(40000, u'p') + u"\\setup.exe";
  EXPECT_EQ(executable_path(windows).value(), windows.module_path);
  EXPECT_GT(windows.calls("GetModuleFileNameW"), 1u);

  for (const std::size_t length : {259u, 260u, 261u}) {
    sim::SimWindows exact;
    exact.module_path = u"C:\\" + std::u16string(length - 3, u'x');
    EXPECT_EQ(executable_path(exact).value(), exact.module_path) << length;
  }
}

TEST(ExecutablePath, FailureGivesTheSystemTextAndTheCode) {
  sim::SimWindows windows;
  windows.fail({"GetModuleFileNameW", 1, 5});
  EXPECT_EQ(executable_path(windows).error().message, "Access is denied. (os error 5)");
}

TEST(RunDriverSetup, AnyArgumentFailsBeforeAnythingElseHappens) {
  for (const std::u16string args : {u" \"\"", u" /?", u" --help", u" x", u"\t\"\" "}) {
    Scenario scenario;
    scenario.windows.command_line_text += args;
    const auto outcome = scenario.run();
    EXPECT_EQ(outcome.exit_status, 1u);
    EXPECT_EQ(outcome.standard_error, "ORVANE_DRIVER_SETUP driver setup takes no arguments\n");
    EXPECT_EQ(scenario.windows.call_log(), (std::vector<std::string>{"GetCommandLineW", "WriteStandardError"}));
  }
}

TEST(RunDriverSetup, PackageFailureEndsTheRunBeforeDetection) {
  Scenario scenario;
  scenario.windows.remove_file(std::u16string(test::SCENARIO_PACKAGE_FOLDER) + u"\\readme.txt");
  const auto outcome = scenario.run();
  EXPECT_EQ(outcome.exit_status, 1u);
  EXPECT_EQ(outcome.standard_error, "ORVANE_DRIVER_SETUP missing bundled driver file readme.txt\n");
  EXPECT_EQ(scenario.windows.calls("CM_Get_Device_ID_List_SizeW"), 0u);
  EXPECT_EQ(scenario.endpoint_requests, 0u);
  EXPECT_EQ(scenario.windows.leaks(), "");
}

TEST(RunDriverSetup, ExecutablePathFailureIsReported) {
  Scenario scenario;
  scenario.windows.fail({"GetModuleFileNameW", 1, 2});
  const auto outcome = scenario.run();
  EXPECT_EQ(outcome.exit_status, 1u);
  EXPECT_EQ(outcome.standard_error, "ORVANE_DRIVER_SETUP The system cannot find the file specified. (os error 2)\n");
}

TEST(RunDriverSetup, ExecutableInADriveRootReadsThePackageBesideIt) {
  Scenario scenario;
  scenario.windows.module_path = u"C:\\orvane-driver-setup.exe";
  scenario.windows.add_file(u"C:\\drivers/vbcable\\readme.txt", "not the package");
  const auto outcome = scenario.run();
  EXPECT_EQ(outcome.standard_error, "ORVANE_DRIVER_SETUP bundled driver integrity check failed: readme.txt\n");
  ASSERT_FALSE(scenario.windows.opened_paths.empty());
  EXPECT_EQ(scenario.windows.opened_paths[0], u"C:\\drivers/vbcable\\readme.txt");
}

}  // namespace
}  // namespace orvane
