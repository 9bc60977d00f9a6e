#include "windows/windows_process.h"

#include <algorithm>

#include "platform/text.h"
#include "windows/win32.h"

namespace orvane::windows {
namespace {

constexpr std::size_t INITIAL_FULL_PATH_UNITS = MAX_PATH;

HANDLE native(FileRaw file) { return reinterpret_cast<HANDLE>(file); }

// LocalFree is the release FormatMessageW's FORMAT_MESSAGE_ALLOCATE_BUFFER asks for.
struct LocalMemoryTraits {
  using Raw = wchar_t*;
  static Raw empty() { return nullptr; }
  static bool is_open(Raw raw) { return raw != nullptr; }
  static void release(Raw raw) { LocalFree(raw); }
};
using LocalText = UniqueHandle<LocalMemoryTraits>;

// A pipe or console may take fewer units than offered; a failed or empty write ends the line
// silently. `write(units, count, &written)` makes one Win32 write.
template <typename Unit, typename Write>
void write_all(std::basic_string_view<Unit> text, Write write) {
  while (!text.empty()) {
    DWORD written = 0;
    if (write(text.data(), clamped_length(text.size()), &written) == 0 || written == 0) return;
    text.remove_prefix(std::min<std::size_t>(written, text.size()));
  }
}

}  // namespace

std::u16string WindowsProcess::command_line() { return std::u16string(utf16(GetCommandLineW())); }

ModuleFileName WindowsProcess::module_file_name(std::span<char16_t> buffer) {
  const DWORD size = clamped_length(buffer.size());
  const DWORD length = GetModuleFileNameW(nullptr, wide(buffer.data()), size);
  const WindowsError error = last_error();
  const bool failed_or_truncated = length == 0 || length >= size;
  return {length, failed_or_truncated ? error.code : 0};
}

std::u16string WindowsProcess::system_error_text(std::uint32_t code) {
  LocalText text;
  const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER;
  // With ALLOCATE_BUFFER the buffer argument is the address of the pointer Windows allocates.
  const DWORD length = FormatMessageW(flags, nullptr, code, 0, reinterpret_cast<wchar_t*>(text.receive()), 0, nullptr);
  if (length == 0 || !text.valid()) return {};
  return std::u16string(utf16(text.get()), length);
}

WinResult<std::u16string> WindowsProcess::full_path_name(const char16_t* path) {
  std::u16string buffer(INITIAL_FULL_PATH_UNITS, u'\0');
  while (true) {
    const DWORD size = clamped_length(buffer.size());
    const DWORD length = GetFullPathNameW(wide(path), size, wide(buffer.data()), nullptr);
    const WindowsError error = last_error();
    if (length == 0) return std::unexpected(error);
    if (length < size) {
      buffer.resize(length);
      return buffer;
    }
    buffer.assign(length, u'\0');  // too small: `length` is the size needed, its NUL included
  }
}

WinResult<FileRaw> WindowsProcess::open_file_for_reading(const char16_t* path) {
  const HANDLE file = CreateFileW(wide(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  const WindowsError error = last_error();
  if (file == INVALID_HANDLE_VALUE) return std::unexpected(error);
  return reinterpret_cast<FileRaw>(file);
}

WinResult<std::uint64_t> WindowsProcess::file_size(FileRaw file) {
  LARGE_INTEGER size{};
  const BOOL ok = GetFileSizeEx(native(file), &size);
  const WindowsError error = last_error();
  if (ok == 0) return std::unexpected(error);
  return static_cast<std::uint64_t>(size.QuadPart);
}

WinResult<std::size_t> WindowsProcess::read_file(FileRaw file, std::span<std::byte> buffer) {
  DWORD read = 0;
  const BOOL ok = ReadFile(native(file), buffer.data(), clamped_length(buffer.size()), &read, nullptr);
  const WindowsError error = last_error();
  if (ok == 0) return std::unexpected(error);
  return std::size_t{read};
}

void WindowsProcess::close_file(FileRaw file) { CloseHandle(native(file)); }

void WindowsProcess::write_standard_error(std::string_view utf8) {
  const HANDLE standard_error = GetStdHandle(STD_ERROR_HANDLE);
  if (standard_error == nullptr || standard_error == INVALID_HANDLE_VALUE) return;
  DWORD mode = 0;
  if (GetConsoleMode(standard_error, &mode) != 0 && GetConsoleOutputCP() != CP_UTF8) {
    write_all(std::u16string_view(utf8_to_utf16(utf8)), [&](const char16_t* units, DWORD count, DWORD* written) {
      return WriteConsoleW(standard_error, wide(units), count, written, nullptr);
    });
  } else {
    write_all(utf8, [&](const char* bytes, DWORD count, DWORD* written) {
      return WriteFile(standard_error, bytes, count, written, nullptr);
    });
  }
}

bool WindowsProcess::environment_variable_present(const char16_t* name) {
  // A one-unit buffer holds an empty value, for which Windows returns 0 without an error.
  wchar_t value[1] = {};
  SetLastError(ERROR_SUCCESS);
  const DWORD length = GetEnvironmentVariableW(wide(name), value, 1);
  const WindowsError error = last_error();
  return length != 0 || error.code != ERROR_ENVVAR_NOT_FOUND;
}

void WindowsProcess::set_current_thread_description(const char16_t* description) {
  // Windows before 10 1607 has no SetThreadDescription, so it is looked up rather than imported.
  using SetThreadDescriptionFunction = HRESULT(WINAPI*)(HANDLE, PCWSTR);
  const HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
  if (kernel32 == nullptr) return;
  const FARPROC found = GetProcAddress(kernel32, "SetThreadDescription");
  if (found == nullptr) return;
  const auto set_description =
      reinterpret_cast<SetThreadDescriptionFunction>(reinterpret_cast<void (*)()>(found));
  set_description(GetCurrentThread(), wide(description));
}

}  // namespace orvane::windows
