// COM (ole32), the multimedia device enumerator (mmdevapi) and property values (propsys).
#pragma once

#include "platform/endpoint_properties.h"

namespace orvane::windows {

class WindowsEndpointProperties final : public EndpointProperties {
 public:
  HResult co_initialize_multithreaded() override;
  void co_uninitialize() override;
  HResult create_device_enumerator(ComRaw& enumerator) override;
  HResult get_device(ComRaw enumerator, const char16_t* endpoint_id, ComRaw& device) override;
  HResult open_property_store(ComRaw device, std::uint32_t access, ComRaw& store) override;
  HResult get_form_factor_value(ComRaw store, PropVariantRaw& value) override;
  HResult prop_variant_to_uint32(PropVariantRaw value, std::uint32_t& out) override;
  void prop_variant_clear(PropVariantRaw value) override;
  void release(ComRaw object) override;
};

}  // namespace orvane::windows
