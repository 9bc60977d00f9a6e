// The test package of tests/data/test-package, copied where a test needs it.
#pragma once

#include <string>
#include <string_view>

namespace orvane::test {

/// Copies every file of the test package into `package_folder`, creating it.
bool install_test_package(std::u16string_view package_folder);

/// The name that comes first in the verification order of the manifest the program under test
/// was built with.
std::string first_manifest_file();

}  // namespace orvane::test
