// The file methods of Process over the host's own files, so that the package check can be timed
// on real files with real reads. Windows paths are mapped to POSIX ones by turning backslashes
// into slashes and dropping an extended-length prefix.
#pragma once

#include <string>

#include "platform/process.h"

namespace orvane::bench {

/// open(2), fstat(2), read(2) and close(2) behind the file methods of Process. The methods the
/// package check never calls answer as a process without a console or environment would.
class PosixFiles final : public Process {
 public:
  std::u16string command_line() override { return u"orvane-driver-setup.exe"; }
  ModuleFileName module_file_name(std::span<char16_t> buffer) override;
  std::u16string system_error_text(std::uint32_t code) override;
  /// The path unchanged: the benchmark's package paths are absolute already.
  WinResult<std::u16string> full_path_name(const char16_t* path) override;
  WinResult<FileRaw> open_file_for_reading(const char16_t* path) override;
  WinResult<std::uint64_t> file_size(FileRaw file) override;
  WinResult<std::size_t> read_file(FileRaw file, std::span<std::byte> buffer) override;
  void close_file(FileRaw file) override;
  void write_standard_error(std::string_view utf8) override;
  bool environment_variable_present(const char16_t* name) override;
  void set_current_thread_description(const char16_t*) override {}

  /// Files opened and not yet closed.
  [[nodiscard]] int open_files() const { return open_files_; }

 private:
  int open_files_ = 0;
};

/// `path` as the host names it: backslashes as slashes, without a "\\?\" prefix.
std::string posix_path(std::u16string_view path);

}  // namespace orvane::bench
