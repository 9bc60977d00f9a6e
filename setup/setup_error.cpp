#include "setup/setup_error.h"

#include "platform/text.h"

namespace orvane {

SetupError windows_step_error(std::string_view step, WindowsError error) {
  return SetupError{std::string(step) + ": Windows error " + decimal(error.code)};
}

}  // namespace orvane
