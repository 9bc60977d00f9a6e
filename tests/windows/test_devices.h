// The devices of the test INF's setup class, read and removed through SetupAPI directly, so that
// the tests check the installation independently of the code under test.
#pragma once

#include <string>
#include <vector>

#include "platform/windows_types.h"

namespace orvane::test {

/// The class that tests/data/test-package/vbMmeCable64_win10.inf declares.
inline constexpr Guid TEST_CABLE_CLASS_GUID{
    0x6C1F0B52, 0x8A37, 0x4F0E, {0x9D, 0x43, 0x2B, 0x7A, 0x51, 0xE0, 0xC9, 0xA4}};
inline constexpr char16_t TEST_CABLE_CLASS_NAME[] = u"OrvaneTestCable";
inline constexpr char16_t TEST_CABLE_DEVICE_DESCRIPTION[] = u"Orvane test cable device";

struct TestDevice {
  std::u16string instance_id;
  std::u16string hardware_ids;  // the REG_MULTI_SZ as stored, its NULs included
  std::u16string description;
  std::u16string driver_key;  // set once a driver is installed
};

/// Every device of the test class, present or not.
std::vector<TestDevice> test_class_devices();

/// Removes every device of the test class (DIF_REMOVE).
void remove_test_class_devices();

}  // namespace orvane::test
