// Files and folders for the Windows tests, in the Wine prefix's temporary folder. Paths are
// used in their extended-length form, so that folders deeper than 260 characters work too.
#pragma once

#include <string>
#include <string_view>

namespace orvane::test {

/// A new, empty folder <temp>\orvane-tests\<name>, removed with everything in it at scope exit.
class TempFolder {
 public:
  explicit TempFolder(std::u16string_view name);
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  ~TempFolder();

  [[nodiscard]] const std::u16string& path() const { return path_; }

 private:
  std::u16string path_;
};

/// `path` with the extended-length prefix "\\?\" and backslashes only.
std::u16string extended(std::u16string_view path);

/// Creates `path` and every missing folder above it; false on failure.
bool make_folders(std::u16string_view path);

/// Writes `bytes` as the whole content of the file `path`; false on failure.
bool write_file(std::u16string_view path, std::string_view bytes);

/// Copies the file `from` to `to`, replacing it; false on failure.
bool copy_file(std::u16string_view from, std::u16string_view to);

/// The whole content of the file, or nothing when it cannot be read.
std::string read_file(std::u16string_view path);

/// Removes the file or the folder with everything in it.
void remove_tree(std::u16string_view path);

/// A folder path below `base` with a chain of components of at most 40 characters, exactly
/// `length` long (`base` must be shorter by 2 or more).
std::u16string deep_folder(std::u16string_view base, std::size_t length);

/// The longest application folder from which Wine still starts a program named
/// orvane-driver-setup.exe: its CreateProcessW takes paths of at most 259 characters. Every
/// package file path below it (drivers/vbcable\<name>) is longer than 260 characters.
inline constexpr std::size_t DEEPEST_STARTABLE_FOLDER = 259 - 24;

}  // namespace orvane::test
