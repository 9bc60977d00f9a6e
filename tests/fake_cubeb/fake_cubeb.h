// Control of the libcubeb test double: what its context creation and device enumeration give,
// and counts of what is still open. Every function may be called from any thread.
#pragma once

#include <cubeb/cubeb.h>

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace orvane::fake_cubeb {

/// One device info as cubeb_enumerate_devices will report it.
struct FakeDevice {
  explicit FakeDevice(std::optional<std::string> id = "fake-device") : device_id(std::move(id)) {}

  FakeDevice& with_name(std::optional<std::string> name) { friendly_name = std::move(name); return *this; }
  FakeDevice& with_state(cubeb_device_state value) { state = value; return *this; }
  FakeDevice& with_preferred(unsigned value) { preferred = value; return *this; }
  FakeDevice& with_channels(std::uint32_t value) { max_channels = value; return *this; }
  FakeDevice& with_rate(std::uint32_t value) { default_rate = value; return *this; }
  FakeDevice& with_type(cubeb_device_type value) { type = value; return *this; }

  std::optional<std::string> device_id;      // none: a null pointer
  std::optional<std::string> friendly_name;  // none: a null pointer
  cubeb_device_state state = CUBEB_DEVICE_STATE_ENABLED;
  unsigned preferred = CUBEB_DEVICE_PREF_NONE;
  std::uint32_t max_channels = 2;
  std::uint32_t default_rate = 48000;
  cubeb_device_type type = CUBEB_DEVICE_TYPE_UNKNOWN;  // reported as given, whatever was asked
};

/// What was seen, at the moment of asking.
struct FakeCounts {
  int init_calls = 0;
  int enumerate_calls = 0;
  int live_contexts = 0;
  int live_collections = 0;
  /// Destruction of an unknown or already destroyed object, a collection given to the wrong
  /// context, a context destroyed while its collections live, or a call on a dead context.
  int misuses = 0;
};

/// The defaults: cubeb_init succeeds with backend "fake", both directions are empty, nothing is
/// counted. Live objects of an earlier test are forgotten.
void reset();

void set_init_result(int result);
void set_backend_name(std::string name);
/// `type` is CUBEB_DEVICE_TYPE_INPUT or CUBEB_DEVICE_TYPE_OUTPUT.
void set_devices(cubeb_device_type type, std::vector<FakeDevice> devices);
void set_enumerate_result(cubeb_device_type type, int result);

FakeCounts counts();
/// The context and backend names of the last cubeb_init.
std::string last_context_name();
std::string last_backend_name();
/// Every thread that called into the double since the last reset.
std::set<std::thread::id> calling_threads();

}  // namespace orvane::fake_cubeb
