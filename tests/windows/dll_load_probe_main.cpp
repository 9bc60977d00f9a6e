// orvane_dll_load_probe.exe: loads DLLs the ways the program does, for the planted-DLL tests. It
// leaves the process-wide DLL search as it is, so that each way shows on its own that it keeps
// to System32:
//   system <dll>   loads <dll> through SystemLibrary and writes "loaded\n" or "failed <error>\n";
//   delay avrt     calls an avrt.dll function through the delay-load helper and the program's
//   delay winmm    hooks (and the same for winmm.dll), then writes "called\n";
//   delay absent   calls a function of orvane-absent.dll, which exists nowhere, and
//   delay missing  one that avrt.dll does not export: the hooks end the process with the
//                  program's error line and exit status 1.
#include <cwchar>
#include <string>

#include "tests/windows/child_program.h"
#include "windows/system_library.h"
// After windows.h:
#include <avrt.h>
#include <mmsystem.h>

extern "C" void orvane_absent_function();
extern "C" void orvane_not_exported();

namespace {

using orvane::test::write_line;

UINT load_system_library(const wchar_t* dll) {
  const orvane::windows::SystemLibrary library(dll);
  const auto status = library.status();
  write_line(status ? "loaded\n" : "failed " + std::to_string(status.error().code) + "\n");
  return status ? 0 : 2;
}

UINT call_delay_loaded(const wchar_t* dll) {
  if (std::wcscmp(dll, L"avrt") == 0) {
    AvRevertMmThreadCharacteristics(nullptr);
  } else if (std::wcscmp(dll, L"winmm") == 0) {
    timeGetTime();
  } else if (std::wcscmp(dll, L"absent") == 0) {
    orvane_absent_function();
  } else if (std::wcscmp(dll, L"missing") == 0) {
    orvane_not_exported();
  } else {
    return 2;
  }
  write_line("called\n");
  return 0;
}

UINT run(int count, wchar_t** arguments) {
  if (count == 3 && std::wcscmp(arguments[1], L"system") == 0) return load_system_library(arguments[2]);
  if (count == 3 && std::wcscmp(arguments[1], L"delay") == 0) return call_delay_loaded(arguments[2]);
  write_line("usage: orvane_dll_load_probe system <dll> | delay avrt|winmm|absent|missing\n");
  return 2;
}

}  // namespace

int main() { orvane::test::run_child_program(run); }
