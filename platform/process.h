// Process, file and console services.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/unique_resource.h"
#include "platform/windows_types.h"

namespace orvane {

/// A file handle as an opaque integer.
using FileRaw = std::uintptr_t;

/// GetModuleFileNameW's outcome: the length it returned and, when that is 0 or fills the
/// buffer, the GetLastError code read right after the call.
struct ModuleFileName {
  std::uint32_t length = 0;
  std::uint32_t error = 0;
};

/// Kernel32 and console services. File methods return the GetLastError code on failure.
class Process {
 public:
  virtual ~Process() = default;

  /// GetCommandLineW().
  virtual std::u16string command_line() = 0;
  /// GetModuleFileNameW(nullptr, buffer, buffer.size()).
  virtual ModuleFileName module_file_name(std::span<char16_t> buffer) = 0;
  /// FormatMessageW's text from the system message table, as Windows gives it.
  virtual std::u16string system_error_text(std::uint32_t code) = 0;
  /// GetFullPathNameW, with a buffer grown until the path fits.
  virtual WinResult<std::u16string> full_path_name(const char16_t* path) = 0;
  /// CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
  /// nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr).
  virtual WinResult<FileRaw> open_file_for_reading(const char16_t* path) = 0;
  /// GetFileSizeEx.
  virtual WinResult<std::uint64_t> file_size(FileRaw file) = 0;
  /// ReadFile into `buffer`; 0 bytes means the end of the file.
  virtual WinResult<std::size_t> read_file(FileRaw file, std::span<std::byte> buffer) = 0;
  /// CloseHandle.
  virtual void close_file(FileRaw file) = 0;
  /// Writes UTF-8 text to standard error: bytes to a file or pipe, UTF-16 to a console whose
  /// output code page is not UTF-8, nothing when the process has no standard-error handle.
  virtual void write_standard_error(std::string_view utf8) = 0;
  /// Whether the environment variable exists, whatever its value (an empty one included).
  virtual bool environment_variable_present(const char16_t* name) = 0;
  /// Names the calling thread for debuggers (SetThreadDescription where Windows offers it).
  virtual void set_current_thread_description(const char16_t* description) = 0;
};

using FileHandle = UniqueResource<Process, FileRaw, &Process::close_file>;

}  // namespace orvane
