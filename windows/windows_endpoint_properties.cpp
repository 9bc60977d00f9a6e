#include "windows/windows_endpoint_properties.h"

#include <memory>

#include "windows/system_library.h"
#include "windows/win32.h"
// After windows.h:
#include <mmdeviceapi.h>
#include <objbase.h>
#include <propidl.h>
#include <propsys.h>
#include <propvarutil.h>

namespace orvane::windows {
namespace {

// The values Windows documents, kept here so that no GUID library has to be linked for them.
constexpr CLSID MM_DEVICE_ENUMERATOR_CLSID{0xBCDE0395, 0xE52F, 0x467C, {0x8E, 0x3D, 0xC4, 0x57, 0x92, 0x91, 0x69, 0x2E}};
constexpr IID MM_DEVICE_ENUMERATOR_IID{0xA95664D2, 0x9614, 0x4F35, {0xA7, 0x46, 0xDE, 0x8D, 0xB6, 0x36, 0x17, 0xE6}};
constexpr PROPERTYKEY AUDIO_ENDPOINT_FORM_FACTOR_KEY{
    {0x1DA5D803, 0xD492, 0x4EDD, {0x8C, 0x23, 0xE0, 0xC0, 0xFF, 0xEE, 0x7F, 0x0E}}, 0};

// ole32.dll is a KnownDLL and imported; propsys.dll is not, so it is loaded from System32 on
// first use, for the whole process.
struct PropertySystemFunctions {
  PropertySystemFunctions() { library.find(prop_variant_to_uint32, "PropVariantToUInt32"); }
  SystemLibrary library{L"propsys.dll"};
  decltype(PropVariantToUInt32)* prop_variant_to_uint32 = nullptr;
};

const PropertySystemFunctions& propsys() {
  static const PropertySystemFunctions functions;
  return functions;
}

// A PROPVARIANT on the heap, so that it can cross the platform interface as an opaque pointer.
struct PropVariantDelete {
  void operator()(PROPVARIANT* value) const {
    PropVariantClear(value);
    delete value;
  }
};
using HeapPropVariant = std::unique_ptr<PROPVARIANT, PropVariantDelete>;

template <typename Interface>
Interface* as(ComRaw object) {
  return static_cast<Interface*>(static_cast<IUnknown*>(object));
}

template <typename Interface>
ComRaw raw(Interface* object) {
  return static_cast<IUnknown*>(object);
}

}  // namespace

HResult WindowsEndpointProperties::co_initialize_multithreaded() {
  return CoInitializeEx(nullptr, COINIT_MULTITHREADED);
}

void WindowsEndpointProperties::co_uninitialize() { CoUninitialize(); }

HResult WindowsEndpointProperties::create_device_enumerator(ComRaw& enumerator) {
  ComPtr<IMMDeviceEnumerator> created;
  const HRESULT result =
      CoCreateInstance(MM_DEVICE_ENUMERATOR_CLSID, nullptr, CLSCTX_ALL, MM_DEVICE_ENUMERATOR_IID, created.receive_void());
  if (SUCCEEDED(result)) enumerator = raw(created.release());
  return result;
}

HResult WindowsEndpointProperties::get_device(ComRaw enumerator, const char16_t* endpoint_id, ComRaw& device) {
  if (enumerator == nullptr) return E_POINTER;
  ComPtr<IMMDevice> opened;
  const HRESULT result = as<IMMDeviceEnumerator>(enumerator)->GetDevice(wide(endpoint_id), opened.receive());
  if (SUCCEEDED(result)) device = raw(opened.release());
  return result;
}

HResult WindowsEndpointProperties::open_property_store(ComRaw device, std::uint32_t access, ComRaw& store) {
  if (device == nullptr) return E_POINTER;
  ComPtr<IPropertyStore> opened;
  const HRESULT result = as<IMMDevice>(device)->OpenPropertyStore(access, opened.receive());
  if (SUCCEEDED(result)) store = raw(opened.release());
  return result;
}

HResult WindowsEndpointProperties::get_form_factor_value(ComRaw store, PropVariantRaw& value) {
  if (store == nullptr) return E_POINTER;
  HeapPropVariant read(new PROPVARIANT);
  PropVariantInit(read.get());
  const HRESULT result = as<IPropertyStore>(store)->GetValue(AUDIO_ENDPOINT_FORM_FACTOR_KEY, read.get());
  if (SUCCEEDED(result)) value = read.release();  // cleared and freed by prop_variant_clear
  return result;
}

HResult WindowsEndpointProperties::prop_variant_to_uint32(PropVariantRaw value, std::uint32_t& out) {
  if (value == nullptr) return E_POINTER;
  const PropertySystemFunctions& functions = propsys();
  if (const auto loaded = functions.library.status(); !loaded) return HRESULT_FROM_WIN32(loaded.error().code);
  ULONG converted = 0;
  const HRESULT result = functions.prop_variant_to_uint32(*static_cast<const PROPVARIANT*>(value), &converted);
  if (SUCCEEDED(result)) out = converted;
  return result;
}

void WindowsEndpointProperties::prop_variant_clear(PropVariantRaw value) {
  HeapPropVariant(static_cast<PROPVARIANT*>(value));
}

void WindowsEndpointProperties::release(ComRaw object) {
  if (object != nullptr) static_cast<IUnknown*>(object)->Release();
}

}  // namespace orvane::windows
