// A copy of a program under test in an application folder of its own, run through the parent.
#pragma once

#include <expected>
#include <string>

#include "tests/windows/child_process.h"

namespace orvane::test {

/// Diagnostics line of the audio controller, whatever the backend.
inline constexpr char DIAGNOSTICS_LINE_PATTERN[] = "ORVANE_AUDIO backend=[^\n]+ binding=0\\.38\\.0\n";

class InstalledProgram {
 public:
  /// Copies `program` to <application_folder>\orvane-driver-setup.exe.
  InstalledProgram(const std::u16string& program, const std::u16string& application_folder);

  [[nodiscard]] bool copied() const { return copied_; }
  [[nodiscard]] const std::u16string& path() const { return path_; }
  /// The driver package folder beside it, as the run builds it.
  [[nodiscard]] std::u16string package_folder() const;

  /// Runs it with the command line `"<path>"` followed by `arguments` as given.
  [[nodiscard]] std::expected<ChildOutcome, std::string> run(const std::u16string& arguments = u"") const;

 private:
  std::u16string path_;
  std::u16string application_folder_;
  bool copied_ = false;
};

}  // namespace orvane::test
