// The hooks of the delay-load helper, for the DLLs the program delay-loads: libcubeb's avrt.dll
// and winmm.dll, which are no KnownDLLs (windows/CMakeLists.txt makes their imports delay-loaded).
//
// MinGW's helper (__delayLoadHelper2 in libmingwex) works like Microsoft's: on a function's first
// call it asks the notify hook for the DLL (dliNotePreLoadLibrary) and, given none, loads it with
// LoadLibraryA, which searches the process's default DLL directories; a failed load or lookup
// goes to the failure hook and, unless that hook supplies a replacement, raises the SEH exception
// 0xC06D007E or 0xC06D007F, which ends the process with that code. Here the notify hook loads
// the DLL from System32 itself, independent of the process-wide setting, and a failure becomes
// the program's error line and exit status 1: libcubeb, the caller, cannot be given an error.
//
// The helper reads these two variables; defined in an object of the program itself, they take
// the place of libmingwex's empty ones.
#include <string>

#include "setup/run.h"
#include "setup/setup_error.h"
#include "windows/win32.h"
#include "windows/windows_process.h"
// After windows.h:
#include <delayimp.h>

namespace {

[[noreturn]] void fail(const std::string& step, DWORD error) {
  orvane::windows::WindowsProcess process;
  ExitProcess(orvane::finish_run(process, std::unexpected(orvane::windows_step_error(step, orvane::WindowsError{error}))));
}

std::string function_of(const DelayLoadInfo& info) {
  if (info.dlp.fImportByName != 0) return info.dlp.szProcName;
  return "ordinal " + std::to_string(info.dlp.dwOrdinal);
}

FARPROC WINAPI before_delay_load(unsigned notification, PDelayLoadInfo info) {
  if (notification != dliNotePreLoadLibrary) return nullptr;
  const HMODULE module = LoadLibraryExA(info->szDll, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  // Returning no module would let the helper try LoadLibraryA: the failure is final here.
  if (module == nullptr) fail(std::string("load ") + info->szDll, GetLastError());
  return reinterpret_cast<FARPROC>(module);
}

FARPROC WINAPI after_delay_load_failure(unsigned notification, PDelayLoadInfo info) {
  if (notification == dliFailLoadLib) fail(std::string("load ") + info->szDll, info->dwLastError);
  if (notification == dliFailGetProc) {
    fail("load " + function_of(*info) + " from " + info->szDll, info->dwLastError);
  }
  return nullptr;
}

}  // namespace

extern "C" {
PfnDliHook __pfnDliNotifyHook2 = before_delay_load;
PfnDliHook __pfnDliFailureHook2 = after_delay_load_failure;
}
