// The program as its caller sees it: started through CreateProcessW with pipes for standard
// output and standard error, its exit code read whole. The cases end before detection, so
// they leave nothing behind in the prefix. The program is the shipped one when it was built
// (ORVANE_TEST_SHIPPED_PROGRAM), else the test build; this test links the same manifest.
#include <gtest/gtest.h>

#include "platform/text.h"
#include "tests/windows/program_run.h"
#include "tests/windows/test_files.h"
#include "tests/windows/test_package.h"
#include "tests/windows/test_paths.h"

namespace orvane {
namespace {

#if ORVANE_TEST_SHIPPED_PROGRAM
constexpr const char16_t* PROGRAM_UNDER_TEST = test::SHIPPED_PROGRAM;
#else
constexpr const char16_t* PROGRAM_UNDER_TEST = test::TEST_BUILD_PROGRAM;
#endif

constexpr char NOT_THE_PACKAGE_FILE[] = "not the file the manifest describes\r\n";

std::string error_line(const std::string& message) { return "ORVANE_DRIVER_SETUP " + message + "\n"; }

class EndToEnd : public testing::Test {
 protected:
  static std::u16string name_of_test() {
    std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
    for (char& c : name) {
      if (c == '/') c = '-';
    }
    return utf8_to_utf16(name);
  }

  /// Runs the program and checks what every failing run has: exit status 1, nothing on
  /// standard output and exactly one error line on standard error.
  void expect_failure(const test::InstalledProgram& program, const std::string& message,
                      const std::u16string& arguments = u"") {
    ASSERT_TRUE(program.copied());
    const auto outcome = program.run(arguments);
    ASSERT_TRUE(outcome.has_value()) << outcome.error();
    EXPECT_EQ(outcome->exit_code, 1u);
    EXPECT_EQ(outcome->standard_output, "");
    EXPECT_EQ(outcome->standard_error, error_line(message));
  }

  std::u16string first_file(const test::InstalledProgram& program) const {
    return program.package_folder() + u"\\" + utf8_to_utf16(first_);
  }

  test::TempFolder folder_{u"e2e-" + name_of_test()};
  test::InstalledProgram program_{PROGRAM_UNDER_TEST, folder_.path()};
  std::string first_ = test::first_manifest_file();
};

class Arguments : public EndToEnd, public testing::WithParamInterface<std::u16string> {};

TEST_P(Arguments, AnyArgumentIsRefusedBeforeAnyFileIsRead) {
  // A package that would pass the argument check's successor is not needed: nothing is read.
  expect_failure(program_, "driver setup takes no arguments", GetParam());
}

INSTANTIATE_TEST_SUITE_P(Table, Arguments,
                         testing::Values(u" \"\"", u" /?", u" /S", u" --help", u" x", u"\t\"\"\t", u" \"\" \"\"",
                                         u"x", u" C:\\drivers"));

TEST_F(EndToEnd, AMissingFirstFileIsNamed) {
  ASSERT_TRUE(test::make_folders(program_.package_folder()));
  expect_failure(program_, "missing bundled driver file " + first_);
}

TEST_F(EndToEnd, AMissingPackageFolderNamesTheFirstFile) {
  expect_failure(program_, "missing bundled driver file " + first_);
}

TEST_F(EndToEnd, AWrongFirstFileFailsTheIntegrityCheck) {
  ASSERT_TRUE(test::make_folders(program_.package_folder()));
  ASSERT_TRUE(test::write_file(first_file(program_), NOT_THE_PACKAGE_FILE));
  expect_failure(program_, "bundled driver integrity check failed: " + first_);
}

TEST_F(EndToEnd, AnEmptyFirstFileFailsTheIntegrityCheck) {
  ASSERT_TRUE(test::make_folders(program_.package_folder()));
  ASSERT_TRUE(test::write_file(first_file(program_), ""));
  expect_failure(program_, "bundled driver integrity check failed: " + first_);
}

TEST_F(EndToEnd, AFolderInPlaceOfTheFirstFileIsMissing) {
  ASSERT_TRUE(test::make_folders(first_file(program_)));
  expect_failure(program_, "missing bundled driver file " + first_);
}

TEST_F(EndToEnd, APackageFilePathLongerThan260CharactersIsRead) {
  const test::InstalledProgram deep(PROGRAM_UNDER_TEST,
                                    test::deep_folder(folder_.path(), test::DEEPEST_STARTABLE_FOLDER));
  ASSERT_GT(first_file(deep).size(), 260u);
  ASSERT_TRUE(test::make_folders(deep.package_folder()));
  ASSERT_TRUE(test::write_file(first_file(deep), NOT_THE_PACKAGE_FILE));
  // An integrity failure, not a missing file: it was opened and hashed through the long path.
  expect_failure(deep, "bundled driver integrity check failed: " + first_);
}

TEST_F(EndToEnd, AFirstFileHeldByAnotherProcessWithoutSharingIsMissing) {
  ASSERT_TRUE(test::make_folders(program_.package_folder()));
  ASSERT_TRUE(test::write_file(first_file(program_), NOT_THE_PACKAGE_FILE));
  const auto held = test::HeldFile::hold(test::TEST_CHILD_PROGRAM, first_file(program_), test::HeldFile::Sharing::None);
  ASSERT_TRUE(held.has_value()) << held.error();
  expect_failure(program_, "missing bundled driver file " + first_);
}

TEST_F(EndToEnd, AFirstFileHeldByAnotherProcessWithFullSharingIsReadAndChecked) {
  ASSERT_TRUE(test::make_folders(program_.package_folder()));
  ASSERT_TRUE(test::write_file(first_file(program_), NOT_THE_PACKAGE_FILE));
  const auto held =
      test::HeldFile::hold(test::TEST_CHILD_PROGRAM, first_file(program_), test::HeldFile::Sharing::ReadWriteDelete);
  ASSERT_TRUE(held.has_value()) << held.error();
  expect_failure(program_, "bundled driver integrity check failed: " + first_);
}

}  // namespace
}  // namespace orvane
