// A stand-in for a system DLL, planted beside a program under test: when anything loads it, it
// writes a marker file <ORVANE_PLANTED_DLL_MARKERS>\<its own file name>.loaded holding its path.
// It exports nothing, and its DllMain returns FALSE, so that every load of it fails at once:
// its code never stays in the process, no later load of the same name finds it already there
// (so each load attempt writes its marker), and a program that took it for the real DLL fails
// visibly instead of running on with an impostor. DllMain does no more than file calls.
#include <cwchar>

#include "windows/win32.h"

namespace {

constexpr wchar_t MARKER_FOLDER_VARIABLE[] = L"ORVANE_PLANTED_DLL_MARKERS";
constexpr DWORD PATH_UNITS = 1024;

void write_marker(HINSTANCE module) {
  wchar_t own_path[PATH_UNITS] = {};
  const DWORD path_length = GetModuleFileNameW(module, own_path, PATH_UNITS);
  wchar_t marker[2 * PATH_UNITS] = {};
  const DWORD folder_length = GetEnvironmentVariableW(MARKER_FOLDER_VARIABLE, marker, PATH_UNITS);
  if (path_length == 0 || path_length >= PATH_UNITS || folder_length == 0 || folder_length >= PATH_UNITS) return;
  const wchar_t* separator = std::wcsrchr(own_path, L'\\');
  const wchar_t* own_name = separator == nullptr ? own_path : separator + 1;
  std::swprintf(marker + folder_length, PATH_UNITS, L"\\%ls.loaded", own_name);
  const orvane::windows::KernelHandle file(
      CreateFileW(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  if (file.valid()) WriteFile(file.get(), own_path, path_length * sizeof(wchar_t), &written, nullptr);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) write_marker(module);
  return FALSE;
}
