// Portable stand-ins for the Windows values that cross our platform interfaces.
#pragma once

#include <array>
#include <cstdint>
#include <expected>
#include <string_view>

namespace orvane {

/// A Windows error code as GetLastError gave it right after the failing call.
struct WindowsError {
  std::uint32_t code = 0;
  friend bool operator==(const WindowsError&, const WindowsError&) = default;
};

template <typename T>
using WinResult = std::expected<T, WindowsError>;

/// Layout-compatible with the Windows GUID.
struct Guid {
  std::uint32_t data1 = 0;
  std::uint16_t data2 = 0;
  std::uint16_t data3 = 0;
  std::array<std::uint8_t, 8> data4{};
  friend bool operator==(const Guid&, const Guid&) = default;
};

/// HRESULT and CONFIGRET are kept as plain integers of their Windows widths.
using HResult = std::int32_t;
using ConfigRet = std::uint32_t;
using DevInst = std::uint32_t;

constexpr bool succeeded(HResult hr) { return hr >= 0; }

// Win32 error codes the program tests for.
constexpr std::uint32_t ERROR_FILE_NOT_FOUND_CODE = 2;
constexpr std::uint32_t ERROR_ACCESS_DENIED_CODE = 5;
constexpr std::uint32_t ERROR_INSUFFICIENT_BUFFER_CODE = 122;
constexpr std::uint32_t ERROR_NO_MORE_ITEMS_CODE = 259;

constexpr ConfigRet CR_SUCCESS_CODE = 0;

}  // namespace orvane
