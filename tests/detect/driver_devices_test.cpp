// Collection of the cable driver devices from the configuration manager.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "detect/driver_identity.h"
#include "tests/detect/cable_tree.h"
#include "tests/detect/config_entry_probe.h"

namespace orvane::test {
namespace {

using Devices = std::vector<DriverDevice>;

using namespace std::string_literals;

TEST(CollectDriverDevices, KeepsEveryCableIdentifierStringOfEveryPresentDevice) {
  struct Case {
    const char* name;
    std::function<void(sim::SimWindows&)> build;
    std::vector<std::pair<std::string, bool>> expected;  // hardware id, started
  };
  const std::u16string full_buffer = std::u16string(2048 - 13, u'\0') + u"VBAudioVACWDM";  // no terminator fits
  const Case cases[] = {
      {"empty tree", [](auto&) {}, {}},
      {"plain devices only", [](auto& w) { add_cable(w, {u"PCI\\VEN_8086", u"MEDIA"}); add_plain_node(w, {}); }, {}},
      {"upper-case VB-CABLE", [](auto& w) { add_cable(w); }, {{"VBAudioVACWDM", true}}},
      {"lower case kept as reported", [](auto& w) { add_cable(w, {u"vbaudiovacwdm"}); }, {{"vbaudiovacwdm", true}}},
      {"Hi-Fi Cable", [](auto& w) { add_cable(w, {u"VBAUDIOHFVAIO"}); }, {{"VBAUDIOHFVAIO", true}}},
      {"cable id second in the list", [](auto& w) { add_cable(w, {u"ROOT\\MEDIA", u"VBAudioVACWDM"}); },
       {{"VBAudioVACWDM", true}}},
      {"listed twice on one device", [](auto& w) { add_cable(w, {u"VBAudioVACWDM", u"vbaudioVACWDM"}); },
       {{"VBAudioVACWDM", true}, {"vbaudioVACWDM", true}}},
      {"both identities on one device", [](auto& w) { add_cable(w, {u"VBAudioHFVAIO", u"VBAudioVACWDM"}); },
       {{"VBAudioHFVAIO", true}, {"VBAudioVACWDM", true}}},
      {"two devices in list order",
       [](auto& w) { add_cable(w, {u"VBAudioVACWDM"}); add_cable(w, {u"VBAudioHFVAIO"}, 0); },
       {{"VBAudioVACWDM", true}, {"VBAudioHFVAIO", false}}},
      {"not exactly 13 bytes",
       [](auto& w) { add_cable(w, {u"VBAudioVACWDM_1", u"VBAudioVACWDM ", u"ROOT\\VBAudioVACWDM", u"VBAudioVACWD"}); },
       {}},
      {"after an empty piece",
       [](auto& w) { w.device(add_cable(w)).raw_hardware_ids = u"PCI\\X\0\0VBAudioVACWDM\0\0"s; },
       {{"VBAudioVACWDM", true}}},
      {"filling the whole 4096-byte buffer",
       [&](auto& w) { w.device(add_cable(w)).raw_hardware_ids = full_buffer; }, {{"VBAudioVACWDM", true}}},
      {"longer than the buffer",
       [&](auto& w) { w.device(add_cable(w)).raw_hardware_ids = full_buffer + u'\0'; }, {}},
      {"no hardware-id property", [](auto& w) { w.device(add_cable(w)).has_hardware_ids = false; }, {}},
      {"not present", [](auto& w) { w.device(add_cable(w)).present = false; }, {}},
      {"problem code", [](auto& w) { add_cable(w, {u"VBAudioVACWDM"}, DN_STARTED_BIT, 22); }, {{"VBAudioVACWDM", false}}},
      {"needs restart", [](auto& w) { add_cable(w, {u"VBAudioVACWDM"}, 0, CM_PROB_NEED_RESTART_CODE); },
       {{"VBAudioVACWDM", false}}},
      {"not started", [](auto& w) { add_cable(w, {u"VBAudioVACWDM"}, DN_NEED_RESTART_BIT); }, {{"VBAudioVACWDM", false}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::SimWindows windows;
    c.build(windows);
    ConfigEntryProbe probe(windows);
    const auto devices = collect_driver_devices(probe);
    ASSERT_TRUE(devices.has_value()) << devices.error();
    std::vector<std::pair<std::string, bool>> found;
    for (const DriverDevice& device : *devices) found.emplace_back(device.hardware_id, device.started);
    EXPECT_EQ(found, c.expected);
    EXPECT_TRUE(probe.property_buffers_clear);
    EXPECT_TRUE(probe.status_outputs_clear);
    EXPECT_TRUE(std::all_of(probe.property_sizes.begin(), probe.property_sizes.end(),
                            [](std::size_t size) { return size == 4096; }));
  }
}

TEST(CollectDriverDevices, RecordsTheLocatedDevnode) {
  sim::SimWindows windows;
  add_plain_node(windows, {});
  const DevInst cable = add_cable(windows);
  const auto devices = collect_driver_devices(windows);
  ASSERT_TRUE(devices.has_value());
  EXPECT_EQ(*devices, (Devices{{"VBAudioVACWDM", cable, true}}));
}

TEST(CollectDriverDevices, SplitsTheDeviceIdListAndSkipsWhatCannotBeLocated) {
  struct Case {
    const char* name;
    std::u16string list;
    std::size_t expected;
  };
  const Case cases[] = {
      {"empty list", u""s, 0},
      {"terminator only", u"\0"s, 0},
      {"normal list", u"ROOT\\MEDIA\\A\0ROOT\\MEDIA\\B\0\0"s, 2},
      {"stray empty pieces", u"\0ROOT\\MEDIA\\A\0\0\0ROOT\\MEDIA\\B\0\0"s, 2},
      {"unknown id first", u"ROOT\\GONE\\0\0ROOT\\MEDIA\\B\0\0"s, 1},
      {"last id unterminated", u"ROOT\\MEDIA\\A\0ROOT\\MEDIA\\B"s, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::SimWindows windows;
    windows.device(add_cable(windows)).instance_id = u"ROOT\\MEDIA\\A";
    windows.device(add_cable(windows)).instance_id = u"ROOT\\MEDIA\\B";
    windows.device_id_list_override = c.list;
    const auto devices = collect_driver_devices(windows);
    ASSERT_TRUE(devices.has_value());
    EXPECT_EQ(devices->size(), c.expected);
    EXPECT_EQ(windows.calls("CM_Get_Device_ID_ListW"), 1u);  // also for a zero-length list
  }
}

TEST(CollectDriverDevices, RetriesTheFetchTwiceAndNeverTheSizeQuery) {
  struct Case {
    const char* name;
    std::vector<sim::Fault> faults;
    std::optional<std::string> error;  // none: the cable is collected
    unsigned size_calls;
    unsigned list_calls;
  };
  const sim::Fault list_fails{"CM_Get_Device_ID_ListW", 0, 0x1A};
  const Case cases[] = {
      {"size fails", {{"CM_Get_Device_ID_List_SizeW", 1, 0x1F}}, "Cannot enumerate Windows audio driver identities", 1, 0},
      {"fetch fails once", {{"CM_Get_Device_ID_ListW", 1, 0x1A}}, std::nullopt, 2, 2},
      {"fetch fails twice", {{"CM_Get_Device_ID_ListW", 1, 0x1A}, {"CM_Get_Device_ID_ListW", 2, 0x3B}}, std::nullopt,
       3, 3},
      {"fetch fails three times", {list_fails}, "Audio devices changed during detection; refresh again", 3, 3},
      {"size fails on the retry", {{"CM_Get_Device_ID_ListW", 1, 0x1A}, {"CM_Get_Device_ID_List_SizeW", 2, 0x1F}},
       "Cannot enumerate Windows audio driver identities", 2, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::SimWindows windows;
    add_cable(windows);
    for (const sim::Fault& fault : c.faults) windows.fail(fault);
    const auto devices = collect_driver_devices(windows);
    if (c.error) {
      ASSERT_FALSE(devices.has_value());
      EXPECT_EQ(devices.error(), *c.error);
      EXPECT_EQ(windows.calls("CM_Locate_DevNodeW"), 0u);
    } else {
      ASSERT_TRUE(devices.has_value());
      EXPECT_EQ(devices->size(), 1u);
    }
    EXPECT_EQ(windows.calls("CM_Get_Device_ID_List_SizeW"), c.size_calls);
    EXPECT_EQ(windows.calls("CM_Get_Device_ID_ListW"), c.list_calls);
  }
}

TEST(CollectDriverDevices, FailingPerDeviceQueriesDropOnlyThatDevice) {
  struct Case {
    sim::Fault fault;
    std::vector<std::pair<std::string, bool>> expected;
  };
  const Case cases[] = {
      {{"CM_Locate_DevNodeW", 1, 0x0D}, {{"VBAudioHFVAIO", true}}},
      {{"CM_Get_DevNode_Registry_PropertyW", 1, 0x25}, {{"VBAudioHFVAIO", true}}},
      {{"CM_Get_DevNode_Status", 1, 0x05}, {{"VBAudioVACWDM", false}, {"VBAudioHFVAIO", true}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault.call);
    sim::SimWindows windows;
    add_cable(windows);
    add_cable(windows, {u"VBAudioHFVAIO"});
    windows.fail(c.fault);
    const auto devices = collect_driver_devices(windows);
    ASSERT_TRUE(devices.has_value());
    std::vector<std::pair<std::string, bool>> found;
    for (const DriverDevice& device : *devices) found.emplace_back(device.hardware_id, device.started);
    EXPECT_EQ(found, c.expected);
  }
}

}  // namespace
}  // namespace orvane::test
