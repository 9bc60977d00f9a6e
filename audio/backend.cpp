#include "audio/backend.h"

#include <cstdint>
#include <limits>
#include <utility>

#include "platform/text.h"

namespace orvane {
namespace {

constexpr char NO_STABLE_IDENTIFIER[] = "device has no stable identifier";
constexpr char INVALID_CHANNEL_COUNT[] = "invalid channel count";

cubeb_device_type device_type(EndpointDirection direction) {
  // libcubeb's input and output types are the direction's value plus one.
  return static_cast<cubeb_device_type>(static_cast<int>(direction) + 1);
}

}  // namespace

std::expected<CubebDeviceCollection, int> CubebDeviceCollection::enumerate(const CubebContext& context,
                                                                           cubeb_device_type type) {
  cubeb_device_collection collection{};
  const int result = cubeb_enumerate_devices(context.get(), type, &collection);
  if (result != CUBEB_OK) return std::unexpected(result);
  return CubebDeviceCollection(context.get(), collection);
}

CubebDeviceCollection::CubebDeviceCollection(CubebDeviceCollection&& other) noexcept
    : context_(std::exchange(other.context_, nullptr)), collection_(std::exchange(other.collection_, {})) {}

CubebDeviceCollection::~CubebDeviceCollection() {
  // The result is of no use here: the records were already copied out, or discarded.
  if (context_ != nullptr) static_cast<void>(cubeb_device_collection_destroy(context_, &collection_));
}

std::span<const cubeb_device_info> CubebDeviceCollection::devices() const {
  if (collection_.device == nullptr) return {};
  return {collection_.device, collection_.count};
}

std::expected<BackendContext, std::string> create_backend_context(Process& process) {
  cubeb* raw = nullptr;
  const int result = cubeb_init(&raw, AUDIO_CONTEXT_NAME, PREFERRED_AUDIO_BACKEND);
  if (result != CUBEB_OK) return std::unexpected("cubeb context: " + std::string(audio_error_name(result)));
  BackendContext created{CubebContext(raw), {}};

  const char* backend = cubeb_get_backend_id(created.context.get());
  if (backend != nullptr) created.backend = backend;

  std::string line(AUDIO_DIAGNOSTICS_PREFIX);
  line += created.backend;
  line += AUDIO_BINDING_SUFFIX;
  process.write_standard_error(line);
  return created;
}

std::expected<std::vector<EndpointInfo>, std::string> enumerate_context_endpoints(const CubebContext& context,
                                                                                  EndpointDirection direction) {
  const auto collection = CubebDeviceCollection::enumerate(context, device_type(direction));
  if (!collection) return std::unexpected("cubeb enumerate: " + std::string(audio_error_name(collection.error())));

  std::vector<EndpointInfo> endpoints;
  for (const cubeb_device_info& info : collection->devices()) {
    // Disabled and unplugged endpoints are left out before any other field is trusted.
    if (info.state != CUBEB_DEVICE_STATE_ENABLED) continue;
    auto endpoint = endpoint_from_device_info(info, direction);
    if (!endpoint) return std::unexpected(std::move(endpoint.error()));
    endpoints.push_back(std::move(*endpoint));
  }
  return endpoints;
}

std::expected<EndpointInfo, std::string> endpoint_from_device_info(const cubeb_device_info& info,
                                                                   EndpointDirection direction) {
  if (info.device_id == nullptr) return std::unexpected(NO_STABLE_IDENTIFIER);
  EndpointInfo endpoint;
  endpoint.id = sanitize_utf8(info.device_id);
  if (endpoint.id.empty()) return std::unexpected(NO_STABLE_IDENTIFIER);
  if (info.friendly_name != nullptr) endpoint.name = sanitize_utf8(info.friendly_name);
  if (info.max_channels > std::numeric_limits<std::uint16_t>::max()) return std::unexpected(INVALID_CHANNEL_COUNT);

  endpoint.channels = static_cast<std::uint16_t>(info.max_channels);
  endpoint.default_rate = info.default_rate;
  endpoint.direction = direction;
  endpoint.is_default = (static_cast<unsigned>(info.preferred) & CUBEB_DEVICE_PREF_MULTIMEDIA) != 0;
  return endpoint;
}

std::string_view audio_error_name(int result) {
  switch (result) {
    case CUBEB_ERROR_INVALID_FORMAT:
      return "InvalidFormat";
    case CUBEB_ERROR_INVALID_PARAMETER:
      return "InvalidParameter";
    case CUBEB_ERROR_NOT_SUPPORTED:
      return "NotSupported";
    case CUBEB_ERROR_DEVICE_UNAVAILABLE:
      return "DeviceUnavailable";
    default:
      return "Error";  // CUBEB_ERROR and every code libcubeb does not document
  }
}

}  // namespace orvane
