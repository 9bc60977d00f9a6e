// The frame the small Windows test programs share: output lines to standard output, and a main
// that hands the parsed command line to the program's own `run` and exits with its code.
#pragma once

#include <string>

#include "windows/win32.h"
// After windows.h:
#include <shellapi.h>

namespace orvane::test {

inline void write_line(const std::string& line) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

/// Exits with `run(count, arguments)`, or 2 when the command line cannot be parsed.
[[noreturn]] inline void run_child_program(UINT (*run)(int count, wchar_t** arguments)) {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  const UINT code = arguments == nullptr ? 2 : run(count, arguments);
  LocalFree(arguments);
  ExitProcess(code);
}

}  // namespace orvane::test
