#include "setup/driver_package.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <optional>

#include "platform/text.h"
#include "tests/scenarios/scenario.h"
#include "tests/sim/sim_windows.h"

namespace orvane {
namespace {

const std::u16string FOLDER = u"C:\\Tools\\drivers/vbcable";

std::string hex_digest(const std::string& content) { return test::sha256_hex(content); }

// A package in the simulated file system and the manifest that describes it.
class Package {
 public:
  explicit Package(std::u16string folder = FOLDER) : folder_(std::move(folder)) {}

  void add(const std::string& name, const std::string& content) {
    windows.add_file(join_path(folder_, utf8_to_utf16(name)), content);
    entries_.emplace_back(name, hex_digest(content));
  }
  /// A manifest entry whose file is not in the folder.
  void list_only(const std::string& name, const std::string& digest) { entries_.emplace_back(name, digest); }

  std::string manifest() const {
    std::string json = "{";
    for (const auto& [name, digest] : entries_) {
      if (json.size() > 1) json += ",";
      json += "\n  \"" + name + "\": \"" + digest + "\"";
    }
    return json + "\n}";
  }

  SetupResult<void> verify() { return verify_driver_package(windows, folder_, manifest()); }
  std::u16string path(const std::string& name) const { return join_path(folder_, utf8_to_utf16(name)); }
  bool opened(const std::string& name) const {
    return std::find(windows.opened_paths.begin(), windows.opened_paths.end(), path(name)) !=
           windows.opened_paths.end();
  }

  sim::SimWindows windows;

 private:
  std::u16string folder_;
  std::vector<std::pair<std::string, std::string>> entries_;
};

TEST(ShippedManifest, HoldsThirtyOneDigestsInByteOrderOfTheNames) {
  const auto manifest = parse_driver_package_manifest(DRIVER_PACKAGE_MANIFEST);
  ASSERT_TRUE(manifest.has_value());
  ASSERT_EQ(manifest->size(), 31u);
  std::vector<std::string> names;
  for (const auto& [name, digest] : *manifest) {
    names.push_back(name);
    EXPECT_TRUE(is_plain_file_name(name)) << name;
    EXPECT_EQ(digest.size(), 64u) << name;
    EXPECT_TRUE(std::all_of(digest.begin(), digest.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }))
        << name;
  }
  EXPECT_EQ(names.front(), "VBCABLE_ControlPanel.exe");
  EXPECT_EQ(names[3], "pin_in.ico");  // upper-case names first
  EXPECT_EQ(names.back(), "vbaudio_cable_xp.sys");
  const auto position = [&](const std::string& name) { return std::find(names.begin(), names.end(), name) - names.begin(); };
  EXPECT_LT(position("vbaudio_cable64_win7.sys"), position("vbaudio_cable64arm_win10.sys"));
  EXPECT_LT(position("vbaudio_cable64arm_win10.sys"), position("vbaudio_cable_2003.cat"));
  EXPECT_EQ(manifest->at("vbMmeCable64_win10.inf"), "61c857be74831cc299d9be62f8d49d137f14063454fc54f859d5bc9b4b813daf");
}

TEST(ManifestParse, RefusesAnythingButAnObjectOfStrings) {
  for (const std::string_view bad : {"", "[1,2]", "{\"a\": 1}", "{\"a\": \"b\"} x", "{\"a\": \"b\"", "\"text\""}) {
    const auto parsed = parse_driver_package_manifest(bad);
    ASSERT_FALSE(parsed.has_value()) << bad;
    EXPECT_FALSE(parsed.error().message.empty());
  }
  EXPECT_TRUE(parse_driver_package_manifest(" {\"a\": \"b\"} \n\t").has_value());
}

TEST(ManifestParse, ErrorOpensNoFile) {
  Package package;
  package.add("a.sys", "x");
  const auto result = verify_driver_package(package.windows, FOLDER, "{\"a.sys\": ");
  ASSERT_FALSE(result.has_value());
  EXPECT_TRUE(package.windows.opened_paths.empty());
}

TEST(PlainFileName, AcceptsExactlyOneNormalComponent) {
  struct Case {
    std::string name;
    bool plain;
  };
  const Case cases[] = {
      {"readme.txt", true},       {"vbMmeCable64_win10.inf", true}, {"x.sys/", true},
      {"x.sys\\\\", true},        {"x.sys/.", true},                {"sub/x.sys", false},
      {"sub\\x.sys", false},      {"/x.sys", false},                {"\\x.sys", false},
      {"C:x.sys", false},         {"C:\\x.sys", false},             {"", false},
      {"C:", false},              {"\\\\server\\share", false},     {"//server/share", false},
      {"\\\\server\\share\\x", false}, {"\\\\?\\C:\\x.sys", false}, {"\\\\.\\COM1", false},
      {".", false},               {"..", false},                    {"./x.sys", false},
      {"/", false},               {"\\", false},                    {"..\\x.sys", false},
      {std::string("x\0.sys", 6), false},
  };
  for (const Case& c : cases) EXPECT_EQ(is_plain_file_name(c.name), c.plain) << '"' << c.name << '"';
}

TEST(JoinPath, AddsOneBackslashUnlessTheFolderEndsInASeparator) {
  EXPECT_EQ(join_path(u"C:\\Tools\\drivers/vbcable", u"readme.txt"), u"C:\\Tools\\drivers/vbcable\\readme.txt");
  EXPECT_EQ(join_path(u"C:\\", u"drivers/vbcable"), u"C:\\drivers/vbcable");
  EXPECT_EQ(join_path(u"C:\\Tools/", u"x"), u"C:\\Tools/x");
  EXPECT_EQ(join_path(u"\\\\server\\share\\app", u"x"), u"\\\\server\\share\\app\\x");
}

TEST(VerifyDriverPackage, PassesWithExtraFilesAndSubfoldersIgnored) {
  Package package;
  package.add("VBCABLE_Setup.exe", "setup");
  package.add("readme.txt", "read me\r\n");
  package.add("empty.cat", "");
  package.windows.add_file(package.path("unlisted.dll"), "never read");
  package.windows.add_folder(package.path("sub"));
  package.windows.add_file(package.path("sub") + u"\\x.sys", "never read");

  EXPECT_TRUE(package.verify().has_value());
  EXPECT_FALSE(package.opened("unlisted.dll"));
  EXPECT_FALSE(package.opened("sub"));
  EXPECT_EQ(package.windows.open_files(), 0);
  // The files are taken in byte order of their names, upper case first.
  ASSERT_EQ(package.windows.opened_paths.size(), 3u);
  EXPECT_EQ(package.windows.opened_paths[0], package.path("VBCABLE_Setup.exe"));
  EXPECT_EQ(package.windows.opened_paths[1], package.path("empty.cat"));
  EXPECT_EQ(package.windows.opened_paths[2], package.path("readme.txt"));
}

TEST(VerifyDriverPackage, FirstFailureInByteOrderWinsAndLaterFilesAreNotOpened) {
  Package package;
  package.list_only("readme.txt", hex_digest("original"));
  package.windows.add_file(package.path("readme.txt"), "altered");
  package.list_only("VBCABLE_Setup.exe", hex_digest("original"));
  package.windows.add_file(package.path("VBCABLE_Setup.exe"), "altered");
  package.add("pin_in.ico", "icon");

  const auto result = package.verify();
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error().message, "bundled driver integrity check failed: VBCABLE_Setup.exe");
  EXPECT_FALSE(package.opened("pin_in.ico"));
  EXPECT_FALSE(package.opened("readme.txt"));
}

TEST(VerifyDriverPackage, EveryWayOfNotReadingAFileIsMissing) {
  struct Case {
    const char* what;
    void (*arrange)(Package&);
  };
  const Case cases[] = {
      {"deleted", [](Package& p) { p.windows.remove_file(p.path("vbaudio_cable64_win10.sys")); }},
      {"a folder", [](Package& p) {
         p.windows.remove_file(p.path("vbaudio_cable64_win10.sys"));
         p.windows.add_folder(p.path("vbaudio_cable64_win10.sys"));
       }},
      {"held without sharing", [](Package& p) { p.windows.lock_file(p.path("vbaudio_cable64_win10.sys")); }},
      {"open refused", [](Package& p) { p.windows.fail({"CreateFileW", 2, 5}); }},
      {"size unknown", [](Package& p) { p.windows.fail({"GetFileSizeEx", 2, 6}); }},
      {"read error", [](Package& p) { p.windows.fail({"ReadFile", 2, 23}); }},
  };
  for (const Case& c : cases) {
    Package package;
    package.add("readme.txt", "first");
    package.add("vbaudio_cable64_win10.sys", "driver");
    package.add("vbaudio_cable_xp.sys", "later");
    c.arrange(package);
    const auto result = package.verify();
    ASSERT_FALSE(result.has_value()) << c.what;
    EXPECT_EQ(result.error().message, "missing bundled driver file vbaudio_cable64_win10.sys") << c.what;
    EXPECT_FALSE(package.opened("vbaudio_cable_xp.sys")) << c.what;
    EXPECT_EQ(package.windows.leaks(), "") << c.what;
  }
}

TEST(VerifyDriverPackage, ContentIsHashedExactly) {
  Package package;
  package.list_only("readme.txt", hex_digest("line\r\n"));
  package.windows.add_file(package.path("readme.txt"), "line\n");  // line ends converted
  EXPECT_EQ(package.verify().error().message, "bundled driver integrity check failed: readme.txt");

  Package empty;
  empty.list_only("pin_in.ico", hex_digest("icon bytes"));
  empty.windows.add_file(empty.path("pin_in.ico"), "");
  EXPECT_EQ(empty.verify().error().message, "bundled driver integrity check failed: pin_in.ico");

  Package upper;
  std::string digest = hex_digest("x");
  std::transform(digest.begin(), digest.end(), digest.begin(), [](char c) { return static_cast<char>(std::toupper(c)); });
  upper.list_only("x.sys", digest);
  upper.windows.add_file(upper.path("x.sys"), "x");
  EXPECT_EQ(upper.verify().error().message, "bundled driver integrity check failed: x.sys");
}

TEST(VerifyDriverPackage, ReadsInManyChunksAndWholeLargeFiles) {
  Package package;
  std::string large(3 * 1024 * 1024 + 17, '\0');
  for (std::size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>(i * 31 % 251);
  package.add("vbaudio_cable64_win10.sys", large);
  package.windows.read_chunk_limit = 4093;
  EXPECT_TRUE(package.verify().has_value());
  EXPECT_GT(package.windows.calls("ReadFile"), large.size() / 4093);
}

// The size Windows reported when the file was opened decides only where reading may stop early:
// a file that has grown or shrunk since is still read to its end.
TEST(VerifyDriverPackage, ReadsToTheEndWhateverSizeWasReportedAndOnceWhenItHolds) {
  const struct {
    std::optional<std::uint64_t> reported;
    unsigned reads;
  } cases[] = {{std::nullopt, 1}, {0, 4}, {3, 2}, {6, 1}, {10, 2}};
  for (const auto& c : cases) {
    Package package;
    package.add("vbaudio_cable64_win10.sys", "driver");
    package.windows.file_size_override = c.reported;
    EXPECT_TRUE(package.verify().has_value()) << c.reported.value_or(99);
    EXPECT_EQ(package.windows.calls("ReadFile"), c.reads) << c.reported.value_or(99);
  }
}

TEST(VerifyDriverPackage, AFileTooLargeForMemoryIsUnreadableNotFatal) {
  for (const std::uint64_t size : {std::numeric_limits<std::uint64_t>::max(), std::uint64_t{1} << 63}) {
    Package package;
    package.add("vbaudio_cable64_win10.sys", "driver");
    package.windows.file_size_override = size;
    EXPECT_EQ(package.verify().error().message, "missing bundled driver file vbaudio_cable64_win10.sys");
    EXPECT_EQ(package.windows.leaks(), "");
  }
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)  // their allocators abort instead
  Package package;
  package.add("vbaudio_cable64_win10.sys", "driver");
  package.windows.file_size_override = std::uint64_t{3} << 46;  // beyond the 47-bit address space
  EXPECT_EQ(package.verify().error().message, "missing bundled driver file vbaudio_cable64_win10.sys");
#endif
}

TEST(VerifyDriverPackage, FileNamesAreMatchedByTheFileSystem) {
  Package package;
  package.list_only("VBCABLE_Setup.exe", hex_digest("setup"));
  package.windows.add_file(package.path("vbcable_setup.EXE"), "setup");  // a case-insensitive file system
  EXPECT_TRUE(package.verify().has_value());
}

TEST(VerifyDriverPackage, InvalidNameStopsBeforeItsFileAfterEarlierEntriesPassed) {
  for (const std::string bad : {"sub/x.sys", "sub\\\\x.sys", "/x.sys", "C:x.sys", "", "..", "\\\\\\\\srv\\\\share"}) {
    Package package;
    package.add("a.sys", "a");  // before "sub..." in byte order, after the others
    package.add("zz.sys", "z");
    package.list_only(bad, hex_digest("x"));
    const auto result = package.verify();
    ASSERT_FALSE(result.has_value()) << bad;
    EXPECT_EQ(result.error().message, "invalid bundled file name") << bad;
    EXPECT_FALSE(package.opened("zz.sys")) << bad;
    EXPECT_EQ(package.opened("a.sys"), bad.starts_with("sub")) << bad;
  }
}

TEST(VerifyDriverPackage, DeepFoldersAreOpenedInTheExtendedLengthForm) {
  std::u16string deep = u"C:\\Installers";
  while (deep.size() < 300) deep += u"\\a-rather-long-folder-name";
  deep += u"\\drivers/vbcable";
  Package package(deep);
  package.add("readme.txt", "deep");
  ASSERT_TRUE(package.verify().has_value());
  ASSERT_EQ(package.windows.opened_paths.size(), 1u);
  const std::u16string& opened = package.windows.opened_paths[0];
  EXPECT_TRUE(opened.starts_with(u"\\\\?\\C:\\Installers\\")) << utf16_to_utf8(opened);
  EXPECT_EQ(opened.find(u'/'), std::u16string::npos);
}

TEST(OpenablePath, ChoosesTheExtendedFormByLength) {
  sim::SimWindows windows;
  const std::u16string short_path = u"C:\\Tools\\drivers/vbcable\\readme.txt";
  EXPECT_EQ(openable_path(windows, short_path).value(), short_path);

  std::u16string at_threshold = u"C:\\" + std::u16string(247 - 3, u'a');
  EXPECT_EQ(openable_path(windows, at_threshold).value(), u"\\\\?\\" + at_threshold);
  std::u16string below = u"C:\\" + std::u16string(246 - 3, u'a');
  EXPECT_EQ(openable_path(windows, below).value(), below);

  const std::u16string unc = u"\\\\server\\share\\" + std::u16string(260, u'b');
  EXPECT_EQ(openable_path(windows, unc).value(), u"\\\\?\\UNC\\server\\share\\" + std::u16string(260, u'b'));

  windows.fail({"GetFullPathNameW", 0, 206});
  const auto failed = openable_path(windows, at_threshold);
  ASSERT_FALSE(failed.has_value());
  EXPECT_EQ(failed.error(), WindowsError{206});
}

}  // namespace
}  // namespace orvane
