// The program's single error value and the result types built on it.
#pragma once

#include <expected>
#include <string>
#include <string_view>

#include "platform/windows_types.h"

namespace orvane {

/// A complete, human-readable UTF-8 message, passed upward unchanged to the entry point.
struct SetupError {
  std::string message;
  friend bool operator==(const SetupError&, const SetupError&) = default;
};

template <typename T>
using SetupResult = std::expected<T, SetupError>;

/// The run's and the installation's success value: Windows must restart before the cable works.
using RebootRequired = bool;

inline std::unexpected<SetupError> setup_failure(std::string message) {
  return std::unexpected(SetupError{std::move(message)});
}

/// "<step>: Windows error <code>", the code in unsigned decimal. The code is the one the
/// adapter read with GetLastError right after the failing call.
SetupError windows_step_error(std::string_view step, WindowsError error);

}  // namespace orvane
