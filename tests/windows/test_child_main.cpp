// orvane_test_child.exe, the other process of the Windows tests:
//   exit <code>                    ends at once with the 32-bit exit code (decimal or 0x hex);
//   hold none|all <path>           opens <path> for reading without sharing or with full sharing,
//                                  writes "held\n" (or the error) and keeps the file open until
//                                  its standard input ends;
//   load <dll>                     loads <dll> through the standard search order, which starts
//                                  in the program's own folder, and writes "loaded\n" or
//                                  "load failed: <error>\n";
//   report <program>               runs <program> without arguments, its standard error passed
//                                  through, and writes "exit status <code>\n" with all 32 bits.
#include <cwchar>
#include <string>

#include "tests/windows/child_program.h"

namespace {

using orvane::test::write_line;

UINT hold(const wchar_t* mode, const wchar_t* path) {
  const DWORD sharing =
      std::wcscmp(mode, L"all") == 0 ? (FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE) : 0;
  orvane::windows::KernelHandle file(
      CreateFileW(path, GENERIC_READ, sharing, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) {
    write_line("open failed: " + std::to_string(GetLastError()) + "\n");
    return 2;
  }
  write_line("held\n");
  char unit = 0;
  DWORD read = 0;
  while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), &unit, 1, &read, nullptr) != 0 && read != 0) {
  }
  return 0;
}

UINT report(const wchar_t* program) {
  std::wstring command_line = std::wstring(L"\"") + program + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (CreateProcessW(program, command_line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &started) == 0) {
    write_line("start failed: " + std::to_string(GetLastError()) + "\n");
    return 2;
  }
  const orvane::windows::KernelHandle process(started.hProcess);
  const orvane::windows::KernelHandle thread(started.hThread);
  WaitForSingleObject(process.get(), INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.get(), &code);
  write_line("exit status " + std::to_string(code) + "\n");
  return 0;
}

UINT load(const wchar_t* dll) {
  const HMODULE module = LoadLibraryW(dll);
  if (module == nullptr) {
    write_line("load failed: " + std::to_string(GetLastError()) + "\n");
    return 2;
  }
  write_line("loaded\n");
  FreeLibrary(module);
  return 0;
}

UINT run(int count, wchar_t** arguments) {
  if (count == 3 && std::wcscmp(arguments[1], L"exit") == 0) {
    return static_cast<UINT>(std::wcstoul(arguments[2], nullptr, 0));
  }
  if (count == 4 && std::wcscmp(arguments[1], L"hold") == 0) return hold(arguments[2], arguments[3]);
  if (count == 3 && std::wcscmp(arguments[1], L"report") == 0) return report(arguments[2]);
  if (count == 3 && std::wcscmp(arguments[1], L"load") == 0) return load(arguments[2]);
  write_line("usage: orvane_test_child exit <code> | hold none|all <path> | report <program> | load <dll>\n");
  return 2;
}

}  // namespace

int main() { orvane::test::run_child_program(run); }
