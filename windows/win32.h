// What every Windows adapter shares: the Windows headers, the UTF-16 pointer casts and the
// owners of the handles and interfaces the adapters hold themselves (on `UniqueHandle`).
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>
#include <type_traits>
#include <utility>

#include "platform/unique_resource.h"
#include "platform/windows_types.h"

namespace orvane::windows {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are UTF-16 units");

/// Our UTF-16 text as Windows' wide strings; both are 16-bit units of the same encoding.
inline const wchar_t* wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
inline wchar_t* wide(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }
inline const char16_t* utf16(const wchar_t* text) { return reinterpret_cast<const char16_t*>(text); }

static_assert(sizeof(Guid) == sizeof(GUID));

inline GUID to_native(const Guid& guid) {
  GUID native{};
  native.Data1 = guid.data1;
  native.Data2 = guid.data2;
  native.Data3 = guid.data3;
  std::memcpy(native.Data4, guid.data4.data(), sizeof native.Data4);
  return native;
}

inline Guid from_native(const GUID& native) {
  Guid guid;
  guid.data1 = native.Data1;
  guid.data2 = native.Data2;
  guid.data3 = native.Data3;
  std::memcpy(guid.data4.data(), native.Data4, sizeof native.Data4);
  return guid;
}

/// A length for a Win32 call, whose lengths are 32-bit: a longer buffer is offered in part.
inline DWORD clamped_length(std::size_t size) {
  return static_cast<DWORD>(std::min<std::size_t>(size, std::numeric_limits<DWORD>::max()));
}
static_assert(std::is_same_v<DWORD, ULONG>);

/// GetLastError as our error value; called on the line right after the failing call.
inline WindowsError last_error() { return WindowsError{GetLastError()}; }

/// A kernel object handle (file, pipe, process, thread, event).
struct KernelHandleTraits {
  using Raw = HANDLE;
  static Raw empty() { return nullptr; }
  static bool is_open(Raw raw) { return raw != nullptr && raw != INVALID_HANDLE_VALUE; }
  static void release(Raw raw) { CloseHandle(raw); }
};
using KernelHandle = UniqueHandle<KernelHandleTraits>;

/// A COM interface pointer; `&` is not offered, `receive()` hands out the out-parameter.
template <typename Interface>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ComPtr(ComPtr&& other) noexcept : raw_(std::exchange(other.raw_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      reset();
      raw_ = std::exchange(other.raw_, nullptr);
    }
    return *this;
  }
  ~ComPtr() { reset(); }
  void operator&() = delete;

  [[nodiscard]] Interface* get() const { return raw_; }
  Interface* operator->() const { return raw_; }
  explicit operator bool() const { return raw_ != nullptr; }
  Interface** receive() {
    reset();
    return &raw_;
  }
  void** receive_void() { return reinterpret_cast<void**>(receive()); }
  /// Gives up ownership without releasing.
  Interface* release() { return std::exchange(raw_, nullptr); }
  void reset() {
    if (raw_ != nullptr) std::exchange(raw_, nullptr)->Release();
  }

 private:
  Interface* raw_ = nullptr;
};

}  // namespace orvane::windows
