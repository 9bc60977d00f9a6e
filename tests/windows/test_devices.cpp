#include "tests/windows/test_devices.h"

#include "windows/win32.h"
// After windows.h:
#include <setupapi.h>

namespace orvane::test {
namespace {

struct DeviceListTraits {
  using Raw = HDEVINFO;
  static Raw empty() { return INVALID_HANDLE_VALUE; }
  static bool is_open(Raw raw) { return raw != INVALID_HANDLE_VALUE && raw != nullptr; }
  static void release(Raw raw) { SetupDiDestroyDeviceInfoList(raw); }
};
using DeviceList = UniqueHandle<DeviceListTraits>;

DeviceList all_test_class_devices() {
  const GUID guid = windows::to_native(TEST_CABLE_CLASS_GUID);
  return DeviceList(SetupDiGetClassDevsW(&guid, nullptr, nullptr, 0));
}

std::u16string property(HDEVINFO list, SP_DEVINFO_DATA& element, DWORD which) {
  std::u16string value(2048, u'\0');
  DWORD size = 0;
  if (SetupDiGetDeviceRegistryPropertyW(list, &element, which, nullptr, reinterpret_cast<BYTE*>(value.data()),
                                        static_cast<DWORD>(value.size() * 2), &size) == 0) {
    return {};
  }
  value.resize(size / 2);
  return value;
}

std::u16string without_final_nul(std::u16string text) {
  if (!text.empty() && text.back() == u'\0') text.pop_back();
  return text;
}

}  // namespace

std::vector<TestDevice> test_class_devices() {
  std::vector<TestDevice> devices;
  const DeviceList list = all_test_class_devices();
  if (!list.valid()) return devices;
  SP_DEVINFO_DATA element{};
  element.cbSize = sizeof element;
  for (DWORD index = 0; SetupDiEnumDeviceInfo(list.get(), index, &element) != 0; ++index) {
    TestDevice device;
    wchar_t id[512] = {};
    SetupDiGetDeviceInstanceIdW(list.get(), &element, id, 512, nullptr);
    device.instance_id = windows::utf16(id);
    device.hardware_ids = property(list.get(), element, SPDRP_HARDWAREID);
    device.description = without_final_nul(property(list.get(), element, SPDRP_DEVICEDESC));
    device.driver_key = without_final_nul(property(list.get(), element, SPDRP_DRIVER));
    devices.push_back(device);
  }
  return devices;
}

void remove_test_class_devices() {
  const DeviceList list = all_test_class_devices();
  if (!list.valid()) return;
  SP_DEVINFO_DATA element{};
  element.cbSize = sizeof element;
  for (DWORD index = 0; SetupDiEnumDeviceInfo(list.get(), index, &element) != 0; ++index) {
    SetupDiCallClassInstaller(DIF_REMOVE, list.get(), &element);
  }
}

}  // namespace orvane::test
