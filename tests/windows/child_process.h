// A parent for Windows test programs: starts a child with CreateProcessW, captures its standard
// output and standard error through pipes and reads its whole 32-bit exit code.
#pragma once

#include <chrono>
#include <cstdint>
#include <expected>
#include <string>

#include "windows/win32.h"

namespace orvane::test {

struct ChildOutcome {
  std::uint32_t exit_code = 0;
  std::string standard_output;
  std::string standard_error;
};

/// Runs `application` with exactly `command_line` as the child's command line (the child sees
/// the text as given, its own path included) and an empty standard input. Fails with a message
/// when the child cannot start or does not end within `timeout`.
std::expected<ChildOutcome, std::string> run_child(const std::u16string& application,
                                                   const std::u16string& command_line,
                                                   std::chrono::milliseconds timeout = std::chrono::seconds(60));

/// `"path"`: a program path quoted as a command line's first element.
std::u16string quoted(const std::u16string& path);

/// A file held open by another process (the test child) until this object goes away.
class HeldFile {
 public:
  enum class Sharing { None, ReadWriteDelete };

  /// Starts the child and waits until it holds `path` open with `sharing`.
  static std::expected<HeldFile, std::string> hold(const std::u16string& child_program, const std::u16string& path,
                                                   Sharing sharing);
  HeldFile(HeldFile&&) = default;
  HeldFile& operator=(HeldFile&&) = default;
  /// Closes the child's standard input, which makes it close the file and end.
  ~HeldFile();

 private:
  HeldFile() = default;
  windows::KernelHandle process_;
  windows::KernelHandle input_;
};

}  // namespace orvane::test
