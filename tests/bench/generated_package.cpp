#include "tests/bench/generated_package.h"

#include <fcntl.h>
#include <openssl/sha.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <stdexcept>

#include "setup/driver_package.h"

namespace orvane::bench {
namespace {

std::uint64_t realistic_size(std::string_view name, std::size_t index) {
  if (name == "VBCABLE_Setup_x64.exe") return 2'450'560;
  if (name == "VBCABLE_Setup.exe") return 2'081'792;
  if (name.ends_with(".exe")) return 1'180'160;
  if (name.ends_with(".sys")) return 38'912 + 4'096 * (index % 8);
  if (name.ends_with(".cat")) return 9'512 + 517 * (index % 5);
  if (name.ends_with(".inf")) return 6'218 + 311 * (index % 7);
  if (name.ends_with(".ico")) return 9'662;
  return 2'874;
}

// Incompressible bytes from a fixed seed, so that every run hashes the same content.
std::string content_of(std::uint64_t size, std::uint64_t seed) {
  std::string bytes(size, '\0');
  std::uint64_t state = seed * 0x9E3779B97F4A7C15ULL + 1;
  for (char& byte : bytes) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    byte = static_cast<char>(state >> 56);
  }
  return bytes;
}

void write_flushed(const std::filesystem::path& path, const std::string& bytes) {
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
  }
  const int file = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (file < 0 || ::fsync(file) != 0) throw std::runtime_error("cannot flush " + path.string());
  ::close(file);
}

}  // namespace

std::vector<std::pair<std::string, std::uint64_t>> realistic_package_sizes() {
  const auto manifest = parse_driver_package_manifest(DRIVER_PACKAGE_MANIFEST);
  if (!manifest) throw std::logic_error("the shipped manifest does not parse");
  std::vector<std::pair<std::string, std::uint64_t>> sizes;
  for (const auto& entry : *manifest) sizes.emplace_back(entry.first, realistic_size(entry.first, sizes.size()));
  return sizes;
}

std::vector<std::pair<std::string, std::uint64_t>> scaled_package_sizes(std::uint64_t total_bytes) {
  auto sizes = realistic_package_sizes();
  std::uint64_t realistic_total = 0;
  for (const auto& entry : sizes) realistic_total += entry.second;
  const double factor = static_cast<double>(total_bytes) / static_cast<double>(realistic_total);
  for (auto& entry : sizes) {
    entry.second = std::max<std::uint64_t>(1, static_cast<std::uint64_t>(static_cast<double>(entry.second) * factor));
  }
  return sizes;
}

GeneratedPackage generate_package(const std::filesystem::path& folder,
                                  const std::vector<std::pair<std::string, std::uint64_t>>& sizes) {
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  GeneratedPackage package{folder, {}, "{", 0, 0};
  for (const auto& [name, size] : sizes) {
    PackageFile file{name, folder / name, size, {}};
    const std::string bytes = content_of(size, package.files.size() + 1);
    write_flushed(file.path, bytes);
    SHA256(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), file.digest.data());
    package.manifest += std::string(package.files.empty() ? "\n" : ",\n") + "  \"" + name + "\": \"" +
                        lower_hex(file.digest) + "\"";
    package.total_bytes += size;
    package.largest_bytes = std::max(package.largest_bytes, size);
    package.files.push_back(std::move(file));
  }
  package.manifest += "\n}";
  // One read of every file, so that the first timed pass finds them in the page cache too.
  for (const auto& file : package.files) {
    std::ifstream in(file.path, std::ios::binary);
    std::string ignored((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  return package;
}

}  // namespace orvane::bench
