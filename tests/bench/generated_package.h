// A driver package of real files for the benchmarks: the 31 names of the shipped manifest with
// generated content of realistic sizes (or those sizes scaled to a given total), and the manifest
// that matches them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "setup/sha256.h"

namespace orvane::bench {

struct PackageFile {
  std::string name;
  std::filesystem::path path;
  std::uint64_t size = 0;
  Sha256Digest digest{};
};

struct GeneratedPackage {
  std::filesystem::path folder;
  /// In verification order, the order of the manifest.
  std::vector<PackageFile> files;
  /// The manifest text, laid out as the program carries its own.
  std::string manifest;
  std::uint64_t total_bytes = 0;
  std::uint64_t largest_bytes = 0;
};

/// Sizes a released package of this kind could have: two installers of a couple of MB, a
/// control panel of about one, drivers of tens of kB, and small catalogs, INFs, icons and text.
std::vector<std::pair<std::string, std::uint64_t>> realistic_package_sizes();

/// The realistic sizes scaled so that they add up to about `total_bytes` (every file 1 byte at least).
std::vector<std::pair<std::string, std::uint64_t>> scaled_package_sizes(std::uint64_t total_bytes);

/// Writes the files into `folder` (made afresh), flushes them to disk so that no write-back runs
/// while they are timed, and reads each once so that the page cache holds them.
GeneratedPackage generate_package(const std::filesystem::path& folder,
                                  const std::vector<std::pair<std::string, std::uint64_t>>& sizes);

}  // namespace orvane::bench
