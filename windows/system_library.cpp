#include "windows/system_library.h"

namespace orvane::windows {

WinResult<void> restrict_dll_search_to_system32() {
  if (SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) == 0) return std::unexpected(last_error());
  return {};
}

// The flag restricts the search to System32 for this DLL and the DLLs it imports, whatever the
// process-wide setting.
SystemLibrary::SystemLibrary(const wchar_t* file_name)
    : module_(LoadLibraryExW(file_name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) {
  if (!module_.valid()) error_ = last_error();
}

FARPROC SystemLibrary::find_address(const char* name) {
  if (error_) return nullptr;
  const FARPROC address = GetProcAddress(module_.get(), name);
  if (address == nullptr) error_ = last_error();
  return address;
}

WinResult<void> SystemLibrary::status() const {
  if (error_) return std::unexpected(*error_);
  return {};
}

}  // namespace orvane::windows
