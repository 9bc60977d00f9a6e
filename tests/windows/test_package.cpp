#include "tests/windows/test_package.h"

#include "platform/text.h"
#include "setup/driver_package.h"
#include "tests/windows/test_files.h"
#include "tests/windows/test_paths.h"
#include "windows/win32.h"

namespace orvane::test {

bool install_test_package(std::u16string_view package_folder) {
  if (!make_folders(package_folder)) return false;
  const auto manifest = parse_driver_package_manifest(DRIVER_PACKAGE_MANIFEST);
  if (!manifest || manifest->empty()) return false;
  for (const auto& entry : *manifest) {
    const std::u16string name = utf8_to_utf16(entry.first);
    if (!copy_file(std::u16string(TEST_PACKAGE_FOLDER) + u"\\" + name, std::u16string(package_folder) + u"\\" + name)) {
      return false;
    }
  }
  return true;
}

std::string first_manifest_file() {
  const auto manifest = parse_driver_package_manifest(DRIVER_PACKAGE_MANIFEST);
  return manifest && !manifest->empty() ? manifest->begin()->first : std::string();
}

}  // namespace orvane::test
