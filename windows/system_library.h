// DLLs loaded from System32 only. The program runs elevated from an installer's folder, often a
// user-writable one, and Windows looks for a DLL in the application's folder first, so a DLL
// planted there under a system DLL's name would run with the program's rights.
//
// Safe wherever they are: the KnownDLLs, which Windows maps from System32 whatever the search
// order. Their list is the registry value set
//   HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\KnownDLLs
// (`reg query` on the machine shows it; Microsoft documents the key under "Dynamic-link library
// search order"). Windows 10 and 11 list there: advapi32, clbcatq, combase, comdlg32, coml2,
// difxapi, gdi32, gdiplus, imagehlp, imm32, kernel32, msctf, msvcrt, normaliz, nsi, ole32,
// oleaut32, psapi, rpcrt4, sechost, setupapi, shcore, shell32, shlwapi, user32, wldap32, ws2_32,
// and the WOW64 layer's own DLLs. tests/windows/check_program_image.cmake keeps the program's
// static imports within that list.
//
// Every other DLL is loaded through `SystemLibrary` (the adapters' cfgmgr32, newdev, propsys and
// bcrypt) or, for libcubeb's avrt and winmm, delay-loaded with windows/delay_load_hooks.cpp.
#pragma once

#include <optional>

#include "platform/windows_types.h"
#include "windows/win32.h"

namespace orvane::windows {

/// Restricts the DLL search of every later load without a path, the system's own loads on our
/// behalf included, to System32. The program calls it first thing.
WinResult<void> restrict_dll_search_to_system32();

struct ModuleTraits {
  using Raw = HMODULE;
  static Raw empty() { return nullptr; }
  static bool is_open(Raw raw) { return raw != nullptr; }
  static void release(Raw raw) { FreeLibrary(raw); }
};
using ModuleHandle = UniqueHandle<ModuleTraits>;

/// A DLL that is not a KnownDLL, loaded from System32 (the DLL and the DLLs it imports), and
/// its functions. The first failure, of the load or of a lookup, is kept: a caller checks
/// `status()` once and returns that error as the error of the call it could not make.
class SystemLibrary {
 public:
  /// `file_name` without a path, e.g. L"newdev.dll".
  explicit SystemLibrary(const wchar_t* file_name);

  /// Points `function` at the export `name`; leaves it null after an earlier failure.
  template <typename Function>
  SystemLibrary& find(Function*& function, const char* name) {
    function = reinterpret_cast<Function*>(reinterpret_cast<void (*)()>(find_address(name)));
    return *this;
  }

  [[nodiscard]] WinResult<void> status() const;

 private:
  FARPROC find_address(const char* name);

  ModuleHandle module_;
  std::optional<WindowsError> error_;
};

}  // namespace orvane::windows
