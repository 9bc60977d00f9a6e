// Process, file and console services of Windows (kernel32).
#pragma once

#include "platform/process.h"

namespace orvane::windows {

class WindowsProcess final : public Process {
 public:
  std::u16string command_line() override;
  ModuleFileName module_file_name(std::span<char16_t> buffer) override;
  std::u16string system_error_text(std::uint32_t code) override;
  WinResult<std::u16string> full_path_name(const char16_t* path) override;
  WinResult<FileRaw> open_file_for_reading(const char16_t* path) override;
  WinResult<std::uint64_t> file_size(FileRaw file) override;
  WinResult<std::size_t> read_file(FileRaw file, std::span<std::byte> buffer) override;
  void close_file(FileRaw file) override;
  void write_standard_error(std::string_view utf8) override;
  bool environment_variable_present(const char16_t* name) override;
  void set_current_thread_description(const char16_t* description) override;
};

}  // namespace orvane::windows
