// COM apartment membership and the audio endpoint property store.
#pragma once

#include <cstdint>

#include "platform/unique_resource.h"
#include "platform/windows_types.h"

namespace orvane {

/// An interface pointer (IUnknown*) as an opaque value; null is a possible success result.
using ComRaw = void*;
/// A PROPVARIANT owned by the adapter until it is cleared.
using PropVariantRaw = void*;

constexpr std::uint32_t STGM_READ_MODE = 0;
constexpr std::uint32_t FORM_FACTOR_SPEAKERS = 1;

/// COM (ole32) and the Windows multimedia device API (mmdevapi, propsys). Each method makes
/// the call it is named after and returns its HRESULT. The calls are per thread, as COM is.
class EndpointProperties {
 public:
  virtual ~EndpointProperties() = default;

  /// CoInitializeEx(nullptr, COINIT_MULTITHREADED).
  virtual HResult co_initialize_multithreaded() = 0;
  /// CoUninitialize().
  virtual void co_uninitialize() = 0;
  /// CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL, IID_IMMDeviceEnumerator, &out).
  virtual HResult create_device_enumerator(ComRaw& enumerator) = 0;
  /// IMMDeviceEnumerator::GetDevice(id, &out).
  virtual HResult get_device(ComRaw enumerator, const char16_t* endpoint_id, ComRaw& device) = 0;
  /// IMMDevice::OpenPropertyStore(access, &out).
  virtual HResult open_property_store(ComRaw device, std::uint32_t access, ComRaw& store) = 0;
  /// IPropertyStore::GetValue(PKEY_AudioEndpoint_FormFactor, &value); `value` must be cleared.
  virtual HResult get_form_factor_value(ComRaw store, PropVariantRaw& value) = 0;
  /// PropVariantToUInt32(value, &out).
  virtual HResult prop_variant_to_uint32(PropVariantRaw value, std::uint32_t& out) = 0;
  /// PropVariantClear(value), and the adapter's storage of it freed.
  virtual void prop_variant_clear(PropVariantRaw value) = 0;
  /// IUnknown::Release().
  virtual void release(ComRaw object) = 0;
};

using ComInterface = UniqueResource<EndpointProperties, ComRaw, &EndpointProperties::release>;
using PropVariantValue = UniqueResource<EndpointProperties, PropVariantRaw, &EndpointProperties::prop_variant_clear>;

/// Membership of the calling thread in the COM multithreaded apartment, left at scope exit
/// only when joining succeeded.
class ComApartment {
 public:
  explicit ComApartment(EndpointProperties& com) : com_(com), result_(com.co_initialize_multithreaded()) {}
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  ~ComApartment() {
    if (succeeded(result_)) com_.co_uninitialize();
  }
  [[nodiscard]] HResult result() const { return result_; }

 private:
  EndpointProperties& com_;
  HResult result_;
};

}  // namespace orvane
