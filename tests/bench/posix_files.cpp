#include "tests/bench/posix_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/text.h"

namespace orvane::bench {
namespace {

constexpr std::uint32_t ERROR_GEN_FAILURE_CODE = 31;

// The Windows code closest to an errno value, for the errors the package check can meet.
WindowsError windows_error(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return WindowsError{ERROR_FILE_NOT_FOUND_CODE};
    case EACCES:
    case EPERM:
    case EISDIR:
      return WindowsError{ERROR_ACCESS_DENIED_CODE};
    default:
      return WindowsError{ERROR_GEN_FAILURE_CODE};
  }
}

int descriptor(FileRaw file) { return static_cast<int>(file); }

}  // namespace

std::string posix_path(std::u16string_view path) {
  if (path.starts_with(u"\\\\?\\")) path.remove_prefix(4);
  // CreateFileW takes the UTF-16 path as it is; an ASCII path is narrowed without the full
  // conversion, so that the adapter adds as little as it can to the check it times.
  const bool ascii = std::all_of(path.begin(), path.end(), [](char16_t unit) { return unit < 0x80; });
  std::string text = ascii ? std::string(path.begin(), path.end()) : utf16_to_utf8(path);
  std::replace(text.begin(), text.end(), '\\', '/');
  return text;
}

ModuleFileName PosixFiles::module_file_name(std::span<char16_t>) { return {0, ERROR_GEN_FAILURE_CODE}; }

std::u16string PosixFiles::system_error_text(std::uint32_t code) { return u"error " + utf8_to_utf16(decimal(code)); }

WinResult<std::u16string> PosixFiles::full_path_name(const char16_t* path) { return std::u16string(path); }

WinResult<FileRaw> PosixFiles::open_file_for_reading(const char16_t* path) {
  const int file = ::open(posix_path(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (file < 0) return std::unexpected(windows_error(errno));
  ++open_files_;
  return static_cast<FileRaw>(file);
}

WinResult<std::uint64_t> PosixFiles::file_size(FileRaw file) {
  struct stat status {};
  if (::fstat(descriptor(file), &status) != 0) return std::unexpected(windows_error(errno));
  // Windows opens a folder only with backup semantics; the check never asks for them.
  if (S_ISDIR(status.st_mode)) return std::unexpected(WindowsError{ERROR_ACCESS_DENIED_CODE});
  return static_cast<std::uint64_t>(status.st_size);
}

WinResult<std::size_t> PosixFiles::read_file(FileRaw file, std::span<std::byte> buffer) {
  const std::size_t wanted = std::min<std::size_t>(buffer.size(), SSIZE_MAX);
  for (;;) {
    const ssize_t count = ::read(descriptor(file), buffer.data(), wanted);
    if (count >= 0) return static_cast<std::size_t>(count);
    if (errno != EINTR) return std::unexpected(windows_error(errno));
  }
}

void PosixFiles::close_file(FileRaw file) {
  ::close(descriptor(file));
  --open_files_;
}

void PosixFiles::write_standard_error(std::string_view utf8) {
  while (!utf8.empty()) {
    const ssize_t written = ::write(STDERR_FILENO, utf8.data(), utf8.size());
    if (written <= 0) return;
    utf8.remove_prefix(static_cast<std::size_t>(written));
  }
}

bool PosixFiles::environment_variable_present(const char16_t* name) {
  return std::getenv(utf16_to_utf8(name).c_str()) != nullptr;
}

}  // namespace orvane::bench
