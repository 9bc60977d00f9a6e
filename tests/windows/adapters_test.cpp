// The Windows adapters against Wine's real Windows APIs.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "platform/text.h"
#include "setup/command_line.h"
#include "setup/driver_package.h"
#include "setup/run.h"
#include "setup/sha256.h"
#include "tests/windows/child_process.h"
#include "tests/windows/test_files.h"
#include "tests/windows/test_paths.h"
#include "windows/sha256_cng.h"
#include "windows/system_library.h"
#include "windows/win32.h"
#include "windows/windows_endpoint_properties.h"
#include "windows/windows_process.h"
// After windows.h:
#include <cfgmgr32.h>
#include <shellapi.h>

namespace orvane {
namespace {

using test::TempFolder;
using windows::wide;

// --- SHA-256 through CNG: the FIPS 180-4 examples ----------------------------------------------

struct KnownAnswer {
  std::string message;
  std::string digest;
};

std::vector<KnownAnswer> known_answers() {
  return {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
}

std::span<const std::byte> bytes_of(const std::string& text) { return std::as_bytes(std::span(text)); }

class Sha256Cng : public testing::TestWithParam<std::size_t> {};

TEST_P(Sha256Cng, GivesTheKnownAnswersWhateverThePieceSize) {
  for (const KnownAnswer& answer : known_answers()) {
    const auto digest = windows::sha256_in_pieces(bytes_of(answer.message), GetParam());
    ASSERT_TRUE(digest.has_value());
    EXPECT_EQ(lower_hex(*digest), answer.digest) << answer.message.size() << " bytes";
  }
}

INSTANTIATE_TEST_SUITE_P(PieceSizes, Sha256Cng, testing::Values(std::size_t{7}, std::size_t{64}, std::size_t{4096}));

TEST(Sha256CngProgram, TheProgramsHashGivesTheKnownAnswers) {
  for (const KnownAnswer& answer : known_answers()) {
    const auto digest = sha256(bytes_of(answer.message));
    ASSERT_TRUE(digest.has_value());
    EXPECT_EQ(lower_hex(*digest), answer.digest);
  }
}

// --- The command-line count against CommandLineToArgvW -----------------------------------------

class CommandLineAgainstWindows : public testing::TestWithParam<std::u16string> {};

TEST_P(CommandLineAgainstWindows, CountsAsManyElementsAsCommandLineToArgvW) {
  const std::u16string line = GetParam();
  int windows_count = 0;
  wchar_t** elements = CommandLineToArgvW(wide(line.c_str()), &windows_count);
  ASSERT_NE(elements, nullptr);
  LocalFree(elements);
  EXPECT_EQ(count_command_line_elements(line), static_cast<std::size_t>(windows_count)) << utf16_to_utf8(line);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CommandLineAgainstWindows,
    testing::Values(u"setup.exe", u"\"C:\\Program Files\\setup.exe\"", u"\"C:\\Program Files\\setup.exe\"  \t ",
                    u"C:\\Tools\\setup.exe   ", u"\"C:\\unterminated quote", u"setup.exe \"\"", u"setup.exe /?",
                    u"setup.exe -h", u"\"C:\\a b\\setup.exe\" /S", u"setup.exe a b\tc", u"setup.exe \"a b\" c",
                    u"setup.exe \"a \\\" b\"", u"setup.exe a\\\\\"b c\"", u"setup.exe \"\" \"\"", u"setup.exe \\",
                    u"setup.exe \\\\\\\"a b", u"setup.exe \"a b", u"setup.exe a\"b\"c d", u"\"setup.exe\"\"\"",
                    u"setup.exe \t\"\"\t"));

// --- Reading files through the process adapter -------------------------------------------------

constexpr char FILE_CONTENT[] = "abc";
constexpr char FILE_DIGEST[] = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
const std::string ONE_FILE_MANIFEST = std::string("{\"first.bin\": \"") + FILE_DIGEST + "\"}";

class ProcessFileReading : public testing::Test {
 protected:
  SetupResult<void> verify(const std::u16string& folder) {
    return verify_driver_package(process_, folder, ONE_FILE_MANIFEST);
  }
  static std::u16string name_of_test() {
    return utf8_to_utf16(testing::UnitTest::GetInstance()->current_test_info()->name());
  }

  windows::WindowsProcess process_;
  TempFolder folder_{u"reading-" + name_of_test()};
  std::u16string file_ = folder_.path() + u"\\first.bin";
};

TEST_F(ProcessFileReading, ReadsAndChecksAPlainFile) {
  ASSERT_TRUE(test::write_file(file_, FILE_CONTENT));
  EXPECT_EQ(verify(folder_.path()), SetupResult<void>());
}

TEST_F(ProcessFileReading, ReadsAFileThatThisProcessHoldsOpenWithFullSharing) {
  ASSERT_TRUE(test::write_file(file_, FILE_CONTENT));
  const windows::KernelHandle held(CreateFileW(wide(file_.c_str()), GENERIC_READ | GENERIC_WRITE | DELETE,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(held.valid());
  EXPECT_EQ(verify(folder_.path()), SetupResult<void>());
}

TEST_F(ProcessFileReading, AFileHeldWithoutSharingIsMissing) {
  ASSERT_TRUE(test::write_file(file_, FILE_CONTENT));
  const windows::KernelHandle held(
      CreateFileW(wide(file_.c_str()), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(held.valid());
  EXPECT_EQ(verify(folder_.path()), setup_failure("missing bundled driver file first.bin"));
}

TEST_F(ProcessFileReading, AFolderInPlaceOfTheFileIsMissing) {
  ASSERT_TRUE(test::make_folders(file_));
  EXPECT_EQ(verify(folder_.path()), setup_failure("missing bundled driver file first.bin"));
}

TEST_F(ProcessFileReading, AnAbsentFileIsMissing) {
  EXPECT_EQ(verify(folder_.path()), setup_failure("missing bundled driver file first.bin"));
}

TEST_F(ProcessFileReading, ReadsBelowAFolderDeeperThan260Characters) {
  const std::u16string deep = test::deep_folder(folder_.path(), 300);
  ASSERT_TRUE(test::make_folders(deep));
  ASSERT_TRUE(test::write_file(deep + u"\\first.bin", FILE_CONTENT));
  // The path as the run builds it, with its forward slash, made openable.
  const auto openable = openable_path(process_, deep + u"/.\\first.bin");
  ASSERT_TRUE(openable.has_value());
  EXPECT_EQ(*openable, u"\\\\?\\" + deep + u"\\first.bin");
  EXPECT_EQ(verify(deep), SetupResult<void>());
}

TEST_F(ProcessFileReading, FullPathNameGrowsItsBufferForLongPaths) {
  const std::u16string deep = test::deep_folder(folder_.path(), 1200);
  const auto full = process_.full_path_name((deep + u"\\x\\..\\first.bin").c_str());
  ASSERT_TRUE(full.has_value());
  EXPECT_EQ(*full, deep + u"\\first.bin");
}

// --- Other process services ---------------------------------------------------------------------

TEST(ProcessServices, ExecutablePathIsTheModuleFileName) {
  windows::WindowsProcess process;
  wchar_t buffer[4096] = {};
  const DWORD length = GetModuleFileNameW(nullptr, buffer, 4096);
  ASSERT_GT(length, 0u);
  EXPECT_EQ(executable_path(process), SetupResult<std::u16string>(std::u16string(windows::utf16(buffer), length)));

  // A buffer too small for the path is reported as filled, with Windows' error.
  std::u16string small(4, u'\0');
  const ModuleFileName truncated = process.module_file_name(small);
  EXPECT_EQ(truncated.length, 4u);
  EXPECT_EQ(truncated.error, ERROR_INSUFFICIENT_BUFFER_CODE);
}

TEST(ProcessServices, SystemErrorTextComesFromTheSystemTable) {
  windows::WindowsProcess process;
  EXPECT_FALSE(process.system_error_text(ERROR_FILE_NOT_FOUND_CODE).empty());
  EXPECT_NE(process.system_error_text(ERROR_FILE_NOT_FOUND_CODE), process.system_error_text(ERROR_ACCESS_DENIED_CODE));
}

TEST(ProcessServices, EnvironmentVariablePresenceIgnoresTheValue) {
  windows::WindowsProcess process;
  const char16_t* name = u"ORVANE_WINDOWS_TEST_VARIABLE";
  SetEnvironmentVariableW(wide(name), nullptr);
  EXPECT_FALSE(process.environment_variable_present(name));
  SetEnvironmentVariableW(wide(name), L"");
  EXPECT_TRUE(process.environment_variable_present(name));
  SetEnvironmentVariableW(wide(name), L"1");
  EXPECT_TRUE(process.environment_variable_present(name));
  SetEnvironmentVariableW(wide(name), nullptr);
}

TEST(ProcessServices, ThreadDescriptionIsSetWhereWindowsOffersIt) {
  windows::WindowsProcess process;
  using GetThreadDescriptionFunction = HRESULT(WINAPI*)(HANDLE, PWSTR*);
  const FARPROC found = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetThreadDescription");
  std::thread([&] {
    process.set_current_thread_description(u"orvane-audio-control");
    if (found == nullptr) return;
    const auto get = reinterpret_cast<GetThreadDescriptionFunction>(reinterpret_cast<void (*)()>(found));
    wchar_t* description = nullptr;
    ASSERT_GE(get(GetCurrentThread(), &description), 0);
    EXPECT_EQ(std::u16string(windows::utf16(description)), u"orvane-audio-control");
    LocalFree(description);
  }).join();
}

// --- Standard error -------------------------------------------------------------------------------

// Points standard error at a pipe for the test's lifetime, draining it on a thread so that
// writes larger than the pipe's buffer complete.
class StandardErrorPipe {
 public:
  StandardErrorPipe() : saved_(GetStdHandle(STD_ERROR_HANDLE)) {
    CreatePipe(read_.receive(), write_.receive(), nullptr, 0);
    SetStdHandle(STD_ERROR_HANDLE, write_.get());
    reader_ = std::thread([this] {
      char buffer[4096];
      DWORD read = 0;
      while (ReadFile(read_.get(), buffer, sizeof buffer, &read, nullptr) != 0 && read != 0) bytes_.append(buffer, read);
    });
  }
  StandardErrorPipe(const StandardErrorPipe&) = delete;
  StandardErrorPipe& operator=(const StandardErrorPipe&) = delete;
  ~StandardErrorPipe() {
    if (reader_.joinable()) finish();
    SetStdHandle(STD_ERROR_HANDLE, saved_);
  }
  /// Closes the writing end and returns everything that arrived.
  std::string finish() {
    SetStdHandle(STD_ERROR_HANDLE, saved_);
    write_.reset();
    reader_.join();
    return bytes_;
  }

 private:
  HANDLE saved_;
  windows::KernelHandle read_;
  windows::KernelHandle write_;
  std::thread reader_;
  std::string bytes_;
};

TEST(StandardError, APipeReceivesTheExactBytes) {
  const std::string line = "ORVANE_DRIVER_SETUP caf\xC3\xA9 \xF0\x9F\x8E\xA7 \\ \"quoted\"\r\x01\n";
  const std::string large(256 * 1024, 'x');
  StandardErrorPipe pipe;
  windows::WindowsProcess process;
  process.write_standard_error(line);
  process.write_standard_error(large);
  process.write_standard_error("");
  EXPECT_EQ(pipe.finish(), line + large);
}

TEST(StandardError, NoHandleDropsTheTextSilently) {
  const HANDLE saved = GetStdHandle(STD_ERROR_HANDLE);
  SetStdHandle(STD_ERROR_HANDLE, nullptr);
  windows::WindowsProcess().write_standard_error("dropped\n");
  SetStdHandle(STD_ERROR_HANDLE, INVALID_HANDLE_VALUE);
  windows::WindowsProcess().write_standard_error("dropped\n");
  SetStdHandle(STD_ERROR_HANDLE, saved);
  SUCCEED() << "no crash and no error with a missing standard-error handle";
}

// --- COM and the endpoint property store ------------------------------------------------------

TEST(EndpointProperties, AnUnknownEndpointCannotBeOpened) {
  windows::WindowsEndpointProperties com;
  const ComApartment apartment(com);
  ASSERT_TRUE(succeeded(apartment.result()));
  ComRaw enumerator = nullptr;
  ASSERT_TRUE(succeeded(com.create_device_enumerator(enumerator)));
  const ComInterface owned(com, enumerator);
  ASSERT_NE(enumerator, nullptr);
  ComRaw device = nullptr;
  EXPECT_FALSE(succeeded(com.get_device(enumerator, u"{0.0.0.00000000}.{00000000-0000-0000-0000-000000000000}", device)));
  EXPECT_EQ(device, nullptr);
}

// --- DLLs loaded from System32 ---------------------------------------------------------------------

TEST(SystemLibrary, FindsTheFunctionsOfASystemDll) {
  windows::SystemLibrary cfgmgr32(L"cfgmgr32.dll");
  decltype(CM_Get_Parent)* get_parent = nullptr;
  decltype(CM_Get_DevNode_Status)* get_status = nullptr;
  cfgmgr32.find(get_parent, "CM_Get_Parent").find(get_status, "CM_Get_DevNode_Status");
  EXPECT_TRUE(cfgmgr32.status().has_value());
  EXPECT_NE(get_parent, nullptr);
  EXPECT_NE(get_status, nullptr);
}

TEST(SystemLibrary, ADllThatIsNotInSystem32FailsEveryLookupWithItsLoadError) {
  windows::SystemLibrary absent(L"orvane-absent.dll");
  decltype(CM_Get_Parent)* function = [](PDEVINST, DEVINST, ULONG) -> CONFIGRET { return CR_SUCCESS; };
  absent.find(function, "CM_Get_Parent");
  EXPECT_EQ(function, nullptr);
  EXPECT_EQ(absent.status(), std::unexpected(WindowsError{ERROR_MOD_NOT_FOUND}));
}

TEST(SystemLibrary, AMissingFunctionIsTheErrorOfTheWholeSet) {
  windows::SystemLibrary cfgmgr32(L"cfgmgr32.dll");
  decltype(CM_Get_Parent)* missing = nullptr;
  decltype(CM_Get_Parent)* after = nullptr;
  cfgmgr32.find(missing, "orvane_not_exported").find(after, "CM_Get_Parent");
  EXPECT_EQ(cfgmgr32.status(), std::unexpected(WindowsError{ERROR_PROC_NOT_FOUND}));
  EXPECT_EQ(after, nullptr);
}

// --- The parent program ---------------------------------------------------------------------------

class ChildExitCode : public testing::TestWithParam<std::uint32_t> {};

TEST_P(ChildExitCode, TheParentReadsAll32Bits) {
  const std::u16string child = test::TEST_CHILD_PROGRAM;
  const auto outcome = test::run_child(child, test::quoted(child) + u" exit " + utf8_to_utf16(decimal(GetParam())));
  ASSERT_TRUE(outcome.has_value()) << outcome.error();
  EXPECT_EQ(outcome->exit_code, GetParam());
  EXPECT_EQ(outcome->standard_output, "");
}

INSTANTIATE_TEST_SUITE_P(Codes, ChildExitCode, testing::Values(0u, 1u, 3010u, 0xE0000247u));

}  // namespace
}  // namespace orvane
