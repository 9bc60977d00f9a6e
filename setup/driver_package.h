// The check of the bundled driver package against the built-in manifest of SHA-256 digests.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "platform/process.h"
#include "setup/setup_error.h"

namespace orvane {

/// The package folder below the application folder, kept with its forward slash.
inline constexpr std::string_view DRIVER_PACKAGE_DIR = "drivers/vbcable";

/// JSON object of file name to lower-case hex SHA-256, compiled in. A test build links a
/// manifest of its own test package instead of the shipped one.
extern const std::string_view DRIVER_PACKAGE_MANIFEST;

/// File name to digest, in plain byte order of the UTF-8 names: the order of verification.
using DriverPackageManifest = std::map<std::string, std::string>;

/// Parses the manifest text; the parser's own description of the problem on failure.
SetupResult<DriverPackageManifest> parse_driver_package_manifest(std::string_view json_text);

/// Whether a manifest name is exactly one plain path component: not a drive, a UNC share,
/// a root, "." or "..", and free of NUL characters.
bool is_plain_file_name(std::string_view name);

/// Appends one backslash unless `folder` already ends in a backslash or slash, then `name`.
std::u16string join_path(std::u16string_view folder, std::u16string_view name);

/// `path` in the extended-length form ("\\?\" or "\\?\UNC\") when it has 247 units or more;
/// shorter paths are returned unchanged.
WinResult<std::u16string> openable_path(Process& process, std::u16string_view path);

/// Reads and hashes every manifest file of `package_folder` in manifest order; the first
/// missing, unreadable or altered file ends the check with its message.
SetupResult<void> verify_driver_package(Process& process, std::u16string_view package_folder,
                                        std::string_view manifest_text = DRIVER_PACKAGE_MANIFEST);

}  // namespace orvane
