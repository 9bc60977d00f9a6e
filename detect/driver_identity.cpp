#include "detect/driver_identity.h"

#include <algorithm>
#include <array>
#include <optional>
#include <span>

#include "platform/text.h"

namespace orvane {
namespace {

using HardwareIdUnits = std::array<char16_t, DEVNODE_HARDWARE_ID_BUFFER_BYTES / sizeof(char16_t)>;

// One size-and-fetch attempt. An empty optional means the fetch failed and may be retried;
// a failed size query is final.
std::expected<std::optional<std::u16string>, std::string> fetch_device_id_list_once(ConfigManager& config) {
  std::uint32_t length = 0;
  if (config.get_device_id_list_size(length, nullptr, CM_GETIDLIST_FILTER_PRESENT_FLAG) != CR_SUCCESS_CODE) {
    return std::unexpected(std::string(DEVICE_LIST_SIZE_FAILED_MESSAGE));
  }
  std::u16string units(length, u'\0');
  if (config.get_device_id_list(nullptr, std::span(units.data(), units.size()), CM_GETIDLIST_FILTER_PRESENT_FLAG) !=
      CR_SUCCESS_CODE) {
    return std::optional<std::u16string>();
  }
  return std::optional(std::move(units));
}

// The list can grow between the size query and the fetch, so a failed fetch starts over; the
// attempts follow each other without delay.
std::expected<std::u16string, std::string> fetch_device_id_list(ConfigManager& config) {
  for (int attempt = 0; attempt < DEVICE_ID_LIST_ATTEMPTS; ++attempt) {
    auto fetched = fetch_device_id_list_once(config);
    if (!fetched) return std::unexpected(std::move(fetched.error()));
    if (*fetched) return std::move(**fetched);
  }
  return std::unexpected(std::string(DEVICE_LIST_CHANGING_MESSAGE));
}

// The device's hardware identifiers; none when the property cannot be read or does not fit.
// The whole zero-filled buffer is split, so identifiers after a stray empty piece count too.
std::vector<std::string> hardware_ids(ConfigManager& config, DevInst devnode) {
  HardwareIdUnits units{};
  if (config.get_devnode_registry_property(devnode, CM_DRP_HARDWAREID_PROPERTY, std::as_writable_bytes(std::span(units)),
                                           0) != CR_SUCCESS_CODE) {
    return {};
  }
  // Past the last unit that is not NUL there are only empty pieces, which are skipped anyway;
  // ending the text there spares splitting the untouched rest of the buffer unit by unit.
  const auto last = std::find_if(units.rbegin(), units.rend(), [](char16_t unit) { return unit != u'\0'; });
  const std::u16string_view written(units.data(), static_cast<std::size_t>(units.rend() - last));
  std::vector<std::string> ids;
  for (const std::u16string_view piece : split_at_nul(written, EmptyPieces::Skip)) {
    ids.push_back(utf16_to_utf8(piece));
  }
  return ids;
}

bool is_cable_identifier(std::string_view id) {
  return ascii_case_fold_equal(id, VB_CABLE_HARDWARE_ID) || ascii_case_fold_equal(id, HIFI_CABLE_HARDWARE_ID);
}

// Owns the interface that `call` hands out; empty when the call fails or succeeds with null.
template <typename Call>
ComInterface receive(EndpointProperties& com, Call&& call) {
  ComRaw raw = nullptr;
  const HResult result = std::forward<Call>(call)(raw);
  if (!succeeded(result) || raw == nullptr) return {};
  return ComInterface(com, raw);
}

// Requires the calling thread to be in COM. Every interface is released before return, the
// most recently obtained first.
bool form_factor_is_speakers(EndpointProperties& com, const std::u16string& endpoint_id) {
  const ComInterface enumerator = receive(com, [&](ComRaw& out) { return com.create_device_enumerator(out); });
  if (!enumerator.has_value()) return false;
  const ComInterface device =
      receive(com, [&](ComRaw& out) { return com.get_device(enumerator.get(), endpoint_id.c_str(), out); });
  if (!device.has_value()) return false;
  const ComInterface store =
      receive(com, [&](ComRaw& out) { return com.open_property_store(device.get(), STGM_READ_MODE, out); });
  if (!store.has_value()) return false;

  PropVariantRaw raw_value = nullptr;
  if (!succeeded(com.get_form_factor_value(store.get(), raw_value)) || raw_value == nullptr) return false;
  const PropVariantValue value(com, raw_value);
  std::uint32_t form_factor = 0;
  return succeeded(com.prop_variant_to_uint32(value.get(), form_factor)) && form_factor == FORM_FACTOR_SPEAKERS;
}

}  // namespace

std::expected<std::vector<DriverDevice>, std::string> collect_driver_devices(ConfigManager& config) {
  const auto list = fetch_device_id_list(config);
  if (!list) return std::unexpected(list.error());

  std::vector<DriverDevice> devices;
  for (const std::u16string_view instance_id : split_at_nul(*list, EmptyPieces::Skip)) {
    // Located by its units as Windows gave them, so an ID that does not survive a trip
    // through UTF-8 is still found.
    DevInst devnode = 0;
    if (config.locate_devnode(devnode, with_nul(instance_id).c_str(), CM_LOCATE_DEVNODE_NORMAL_FLAG) !=
        CR_SUCCESS_CODE) {
      continue;
    }
    for (std::string& id : hardware_ids(config, devnode)) {
      if (!is_cable_identifier(id)) continue;
      const bool started = devnode_started_without_problem(config, devnode);
      devices.push_back({std::move(id), devnode, started});
    }
  }
  return devices;
}

bool endpoint_under_device(ConfigManager& config, std::string_view endpoint_id, DevInst devnode) {
  const std::u16string instance_id = with_nul(std::u16string(ENDPOINT_INSTANCE_PREFIX) + utf8_to_utf16(endpoint_id));
  DevInst current = 0;
  if (config.locate_devnode(current, instance_id.c_str(), CM_LOCATE_DEVNODE_NORMAL_FLAG) != CR_SUCCESS_CODE) {
    return false;
  }
  // The endpoint's own devnode is not compared: only its ancestors are.
  for (int depth = 1; depth <= PARENT_WALK_DEPTH; ++depth) {
    DevInst parent = 0;
    if (config.get_parent(parent, current, 0) != CR_SUCCESS_CODE) return false;
    if (parent == devnode) return true;
    current = parent;
  }
  return false;
}

bool passes_form_factor_filter(EndpointProperties& com, CableIdentity identity, const EndpointInfo& endpoint) {
  // VB-CABLE also exposes line-level render endpoints that are not the cable's input.
  if (identity != VB_CABLE_HARDWARE_ID || endpoint.direction != EndpointDirection::Render) return true;
  // Joined for this check alone; left only when joining succeeded, after every interface is gone.
  const ComApartment apartment(com);
  return form_factor_is_speakers(com, with_nul(utf8_to_utf16(endpoint.id)));
}

}  // namespace orvane
