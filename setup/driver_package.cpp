#include "setup/driver_package.h"

#include <limits>
#include <memory>
#include <new>
#include <nlohmann/json.hpp>
#include <vector>

#include "platform/text.h"
#include "setup/sha256.h"
#include "setup/windows_path.h"

namespace orvane {
namespace {

constexpr std::size_t EXTENDED_PATH_THRESHOLD = 247;

struct FileContent {
  std::unique_ptr<std::byte[]> bytes;
  std::size_t size = 0;
};

constexpr std::uint32_t ERROR_NOT_ENOUGH_MEMORY_CODE = 8;

// A buffer of `size` bytes, or nothing when memory runs out: a replaced package file may be far
// larger than any real one, and that must fail the check, not end the process.
std::unique_ptr<std::byte[]> allocate(std::uint64_t size) {
  try {
    return std::make_unique_for_overwrite<std::byte[]>(static_cast<std::size_t>(size));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

// The whole file; a file that grows while it is read is read to its new end. The end is a read
// that gives nothing, or one that comes back short once the size the file had when opened is
// reached: ReadFile reads a disk file short only at its end, and asking it again to be sure
// costs a call per file and tells nothing a later change of the file would not undo.
WinResult<FileContent> read_whole_file(Process& process, const char16_t* path) {
  auto opened = process.open_file_for_reading(path);
  if (!opened) return std::unexpected(opened.error());
  const FileHandle file(process, *opened);
  const auto size = process.file_size(file.get());
  if (!size) return std::unexpected(size.error());

  if (*size >= std::numeric_limits<std::size_t>::max() / 2) return std::unexpected(WindowsError{ERROR_NOT_ENOUGH_MEMORY_CODE});
  // One spare byte lets a file that has grown fill the buffer, so that its read is not short.
  std::uint64_t capacity = *size + 1;
  FileContent content{allocate(capacity), 0};
  while (content.bytes != nullptr) {
    if (content.size == capacity) {
      auto larger = allocate(capacity * 2);
      if (larger == nullptr) break;
      std::copy_n(content.bytes.get(), content.size, larger.get());
      content.bytes = std::move(larger);
      capacity *= 2;
    }
    const std::size_t wanted = capacity - content.size;
    const auto read = process.read_file(file.get(), {content.bytes.get() + content.size, wanted});
    if (!read) return std::unexpected(read.error());
    if (*read == 0) return content;
    content.size += *read;
    if (*read < wanted && content.size >= *size) return content;
  }
  return std::unexpected(WindowsError{ERROR_NOT_ENOUGH_MEMORY_CODE});
}

}  // namespace

SetupResult<DriverPackageManifest> parse_driver_package_manifest(std::string_view json_text) {
  nlohmann::json document;
  try {
    document = nlohmann::json::parse(json_text);
  } catch (const nlohmann::json::exception& error) {
    return setup_failure(error.what());
  }
  if (!document.is_object()) return setup_failure("driver package manifest is not a JSON object");
  DriverPackageManifest manifest;
  for (const auto& [name, digest] : document.items()) {
    if (!digest.is_string()) return setup_failure("driver package manifest value of " + name + " is not a string");
    manifest.emplace(name, digest.get<std::string>());
  }
  return manifest;
}

bool is_plain_file_name(std::string_view name) {
  if (name.find('\0') != std::string_view::npos) return false;

  std::size_t components = 0;
  std::string_view rest = name;
  if (const std::size_t prefix = path_prefix_length(name); prefix != 0) {
    ++components;
    rest = name.substr(prefix);
  }
  const bool rooted = !rest.empty() && is_path_separator(rest[0]);
  if (rooted) ++components;

  std::string_view last;
  bool first = true;
  for (std::size_t at = 0; at <= rest.size();) {
    const std::size_t end = next_separator(rest, at);
    const std::string_view piece = rest.substr(at, end - at);
    // "." counts only at the very start (after any drive); elsewhere it names nothing.
    if (!piece.empty() && (piece != "." || (first && !rooted))) {
      ++components;
      last = piece;
    }
    first = false;
    at = end + 1;
  }
  return components == 1 && !last.empty() && last != "." && last != "..";
}

std::u16string join_path(std::u16string_view folder, std::u16string_view name) {
  std::u16string path(folder);
  if (path.empty() || !is_path_separator(path.back())) path.push_back(u'\\');
  path.append(name);
  return path;
}

WinResult<std::u16string> openable_path(Process& process, std::u16string_view path) {
  if (path.size() < EXTENDED_PATH_THRESHOLD || path.starts_with(u"\\\\?\\")) return std::u16string(path);
  auto full = process.full_path_name(with_nul(path).c_str());
  if (!full) return full;
  // The extended-length form bypasses Windows' own normalisation, so do it here.
  for (char16_t& unit : *full) {
    if (unit == u'/') unit = u'\\';
  }
  if (full->starts_with(u"\\\\?\\")) return full;
  if (full->starts_with(u"\\\\.\\")) return full;
  if (full->starts_with(u"\\\\")) return u"\\\\?\\UNC\\" + full->substr(2);
  return u"\\\\?\\" + *full;
}

SetupResult<void> verify_driver_package(Process& process, std::u16string_view package_folder,
                                        std::string_view manifest_text) {
  auto manifest = parse_driver_package_manifest(manifest_text);
  if (!manifest) return std::unexpected(manifest.error());

  for (const auto& [name, expected_digest] : *manifest) {
    if (!is_plain_file_name(name)) return setup_failure("invalid bundled file name");

    // c_str() ends the path with a NUL; it holds none of its own (a name with one failed above).
    const auto path = openable_path(process, join_path(package_folder, utf8_to_utf16(name)));
    auto content = path ? read_whole_file(process, path->c_str()) : std::unexpected(path.error());
    if (!content) return setup_failure("missing bundled driver file " + name);

    const auto digest = sha256({content->bytes.get(), content->size});
    content->bytes.reset();
    if (!digest || !is_lower_hex_of(*digest, expected_digest)) {
      return setup_failure("bundled driver integrity check failed: " + name);
    }
  }
  return {};
}

}  // namespace orvane
