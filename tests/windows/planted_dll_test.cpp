// DLLs planted beside the program: the elevated program runs from an installer's folder, often a
// user-writable one, so a DLL named like one it loads must never be picked up from there. Each
// planted DLL (tests/windows/planted_dll.cpp) leaves a marker when anything loads it.
//
// Wine prefers most of its built-in DLLs; the test runs with WINEDLLOVERRIDES "<name>=n,b" for
// every planted name (from CMake), which makes Wine search for a native DLL of that name first,
// in the same order as Windows, so that the planted copies stand a chance.
#include <gtest/gtest.h>

#include <expected>
#include <optional>
#include <ostream>
#include <regex>
#include <string>
#include <vector>

#include "platform/text.h"
#include "tests/windows/planted_dlls.h"
#include "tests/windows/program_run.h"
#include "tests/windows/test_devices.h"
#include "tests/windows/test_files.h"
#include "tests/windows/test_package.h"
#include "tests/windows/test_paths.h"
#include "windows/win32.h"

namespace orvane {
namespace {

using windows::wide;

/// Sets an environment variable of this process, which its children inherit, until scope exit.
/// (Under Wine, WINEDLLOVERRIDES does not reach a child this way.)
class ScopedEnvironmentVariable {
 public:
  ScopedEnvironmentVariable(std::u16string name, const std::u16string& value) : name_(std::move(name)) {
    std::u16string old(32767, u'\0');
    const DWORD length = GetEnvironmentVariableW(wide(name_.c_str()), wide(old.data()), 32767);
    if (length > 0 && length < old.size()) old_ = old.substr(0, length);
    SetEnvironmentVariableW(wide(name_.c_str()), wide(value.c_str()));
  }
  ScopedEnvironmentVariable(const ScopedEnvironmentVariable&) = delete;
  ScopedEnvironmentVariable& operator=(const ScopedEnvironmentVariable&) = delete;
  ~ScopedEnvironmentVariable() { SetEnvironmentVariableW(wide(name_.c_str()), old_ ? wide(old_->c_str()) : nullptr); }

 private:
  std::u16string name_;
  std::optional<std::u16string> old_;
};

class PlantedDlls : public testing::Test {
 protected:
  void SetUp() override {
    test::remove_test_class_devices();
    for (const char16_t* name : test::PLANTED_DLL_NAMES) {
      ASSERT_TRUE(test::copy_file(std::u16string(test::PLANTED_DLL_FOLDER) + u"\\" + name + u".dll",
                                  folder_.path() + u"\\" + name + u".dll"));
    }
  }
  void TearDown() override { test::remove_test_class_devices(); }

  /// The planted DLLs that left a marker, by file name.
  [[nodiscard]] std::vector<std::string> loaded() const {
    std::vector<std::string> names;
    for (const char16_t* name : test::PLANTED_DLL_NAMES) {
      const std::u16string file = std::u16string(name) + u".dll";
      if (!test::read_file(markers_.path() + u"\\" + file + u".loaded").empty()) names.push_back(utf16_to_utf8(file));
    }
    return names;
  }

  test::TempFolder folder_{u"planted-dlls"};
  test::TempFolder markers_{u"planted-dll-markers"};
  ScopedEnvironmentVariable marker_folder_{u"ORVANE_PLANTED_DLL_MARKERS", markers_.path()};
};

// Without this, a run that loads none could mean that the planted copies cannot be loaded at
// all (wrong architecture, overrides not passed on, markers not written).
TEST_F(PlantedDlls, EachIsLoadedByALoadThroughTheStandardSearchOrder) {
  const std::u16string loader = folder_.path() + u"\\loader.exe";
  ASSERT_TRUE(test::copy_file(test::TEST_CHILD_PROGRAM, loader));
  std::vector<std::string> expected;
  for (const char16_t* name : test::PLANTED_DLL_NAMES) {
    const std::u16string file = std::u16string(name) + u".dll";
    const auto outcome = test::run_child(loader, test::quoted(loader) + u" load " + file);
    ASSERT_TRUE(outcome.has_value()) << outcome.error();
    // Its DllMain refuses the load.
    EXPECT_EQ(outcome->standard_output, "load failed: 1114\n") << utf16_to_utf8(file);
    expected.push_back(utf16_to_utf8(file));
  }
  EXPECT_EQ(loaded(), expected);
}

TEST_F(PlantedDlls, AFullRunLoadsNoneOfThemAndInstallsTheCable) {
  const test::InstalledProgram program(test::TEST_BUILD_PROGRAM, folder_.path());
  ASSERT_TRUE(program.copied());
  ASSERT_TRUE(test::install_test_package(program.package_folder()));

  const auto outcome = program.run();
  ASSERT_TRUE(outcome.has_value()) << outcome.error();
  EXPECT_EQ(loaded(), std::vector<std::string>{});
  EXPECT_EQ(outcome->exit_code, 0u) << outcome->standard_error;
  EXPECT_EQ(outcome->standard_output, "");
  EXPECT_TRUE(std::regex_match(outcome->standard_error, std::regex(test::DIAGNOSTICS_LINE_PATTERN)))
      << outcome->standard_error;
  EXPECT_EQ(test::test_class_devices().size(), 1u);
}

// Each way the program loads a DLL keeps to System32 on its own, also for the DLLs a full run
// under Wine does not reach (propsys, avrt and winmm): the probe leaves the process-wide search
// as it is.
class PlantedDllsAndProbe : public PlantedDlls {
 protected:
  [[nodiscard]] std::expected<test::ChildOutcome, std::string> probe(const std::u16string& arguments) const {
    return test::run_child(probe_, test::quoted(probe_) + u" " + arguments);
  }

  std::u16string probe_ = folder_.path() + u"\\probe.exe";
  bool copied_ = test::copy_file(test::DLL_LOAD_PROBE, probe_);
};

TEST_F(PlantedDllsAndProbe, SystemLibraryLoadsEachFromSystem32) {
  ASSERT_TRUE(copied_);
  for (const char16_t* name : test::PLANTED_DLL_NAMES) {
    const auto outcome = probe(u"system " + std::u16string(name) + u".dll");
    ASSERT_TRUE(outcome.has_value()) << outcome.error();
    EXPECT_EQ(outcome->standard_output, "loaded\n") << utf16_to_utf8(name);
  }
  EXPECT_EQ(loaded(), std::vector<std::string>{});
}

TEST_F(PlantedDllsAndProbe, TheDelayLoadHooksLoadLibcubebsDllsFromSystem32) {
  ASSERT_TRUE(copied_);
  for (const char16_t* name : {u"avrt", u"winmm"}) {
    const auto outcome = probe(u"delay " + std::u16string(name));
    ASSERT_TRUE(outcome.has_value()) << outcome.error();
    EXPECT_EQ(outcome->exit_code, 0u) << utf16_to_utf8(name);
    EXPECT_EQ(outcome->standard_output, "called\n") << utf16_to_utf8(name);
  }
  EXPECT_EQ(loaded(), std::vector<std::string>{});
}

struct FailedDelayLoad {
  const char* name;
  const char16_t* probe_arguments;
  const char* error_line;
};

void PrintTo(const FailedDelayLoad& failed, std::ostream* out) { *out << failed.name; }

class FailedDelayLoads : public PlantedDllsAndProbe, public testing::WithParamInterface<FailedDelayLoad> {};

// Without the hooks the helper's exception would end the process with 0xC06D007E or 0xC06D007F.
TEST_P(FailedDelayLoads, EndTheProcessWithTheErrorLineAndStatusOne) {
  ASSERT_TRUE(copied_);
  const auto outcome = probe(GetParam().probe_arguments);
  ASSERT_TRUE(outcome.has_value()) << outcome.error();
  EXPECT_EQ(outcome->exit_code, 1u);
  EXPECT_EQ(outcome->standard_output, "");
  EXPECT_EQ(outcome->standard_error, GetParam().error_line);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FailedDelayLoads,
    testing::Values(
        FailedDelayLoad{"AbsentDll", u"delay absent", "ORVANE_DRIVER_SETUP load orvane-absent.dll: Windows error 126\n"},
        FailedDelayLoad{"MissingFunction", u"delay missing",
                        "ORVANE_DRIVER_SETUP load orvane_not_exported from avrt.dll: Windows error 127\n"}),
    [](const testing::TestParamInfo<FailedDelayLoad>& case_info) { return std::string(case_info.param.name); });

}  // namespace
}  // namespace orvane
