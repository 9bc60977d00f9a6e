// The program's whole use of libcubeb: the context and its backend name, the diagnostics line,
// endpoint enumeration for one direction and the names of libcubeb's error codes. Everything here
// runs on the audio controller thread, after it has joined the COM multithreaded apartment.
#pragma once

#include <cubeb/cubeb.h>

#include <expected>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "audio/endpoint_info.h"
#include "platform/unique_resource.h"
#include "platform/process.h"

namespace orvane {

inline constexpr char AUDIO_CONTEXT_NAME[] = "Orvane";
inline constexpr char PREFERRED_AUDIO_BACKEND[] = "wasapi";
inline constexpr std::string_view AUDIO_DIAGNOSTICS_PREFIX = "ORVANE_AUDIO backend=";
inline constexpr std::string_view AUDIO_BINDING_SUFFIX = " binding=0.38.0\n";

struct CubebContextTraits {
  using Raw = cubeb*;
  static Raw empty() { return nullptr; }
  static bool is_open(Raw raw) { return raw != nullptr; }
  static void release(Raw raw) { cubeb_destroy(raw); }
};
/// Owner of a libcubeb context; cubeb_destroy at scope exit.
using CubebContext = UniqueHandle<CubebContextTraits>;

/// Owner of the device collection of one enumeration; cubeb_device_collection_destroy at scope
/// exit, on the context that filled it.
class CubebDeviceCollection {
 public:
  /// cubeb_enumerate_devices for `type`; its non-zero result on failure.
  static std::expected<CubebDeviceCollection, int> enumerate(const CubebContext& context, cubeb_device_type type);

  CubebDeviceCollection(const CubebDeviceCollection&) = delete;
  CubebDeviceCollection& operator=(const CubebDeviceCollection&) = delete;
  CubebDeviceCollection(CubebDeviceCollection&& other) noexcept;
  CubebDeviceCollection& operator=(CubebDeviceCollection&&) = delete;
  ~CubebDeviceCollection();

  [[nodiscard]] std::span<const cubeb_device_info> devices() const;

 private:
  CubebDeviceCollection(cubeb* context, cubeb_device_collection collection)
      : context_(context), collection_(collection) {}

  cubeb* context_ = nullptr;  // null once moved from
  cubeb_device_collection collection_{};
};

/// A context and the name of the backend that libcubeb chose for it.
struct BackendContext {
  CubebContext context;
  std::string backend;
};

/// Creates the context with the preferred backend "wasapi" and writes
/// "ORVANE_AUDIO backend=<name> binding=0.38.0\n" to standard error. Fails with
/// "cubeb context: <error name>".
std::expected<BackendContext, std::string> create_backend_context(Process& process);

/// The enabled endpoints of `direction`, in libcubeb's order. Fails with
/// "cubeb enumerate: <error name>" or with the first record that cannot be built; no partial list.
std::expected<std::vector<EndpointInfo>, std::string> enumerate_context_endpoints(const CubebContext& context,
                                                                                  EndpointDirection direction);

/// The record of one device info. Fails with "device has no stable identifier" (null or empty id)
/// before "invalid channel count" (more than 65535).
std::expected<EndpointInfo, std::string> endpoint_from_device_info(const cubeb_device_info& info,
                                                                   EndpointDirection direction);

/// The name of a non-zero libcubeb result: "Error", "InvalidFormat", "InvalidParameter",
/// "NotSupported", "DeviceUnavailable"; "Error" for any other code.
std::string_view audio_error_name(int result);

}  // namespace orvane
