// The INF path, the search for a present cable device and its health test.
#include "install/cable_device.h"

#include <gtest/gtest.h>

#include "tests/scenarios/scenario.h"
#include "tests/sim/sim_windows.h"

namespace orvane {
namespace {

using sim::media_class_device;
using test::CaseName;

constexpr Guid MEDIA_CLASS = sim::MEDIA_CLASS_GUID;
constexpr Guid OTHER_CLASS{0x4d36e972, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

TEST(CableInfPath, JoinsWithOneBackslashAndKeepsTheForwardSlash) {
  EXPECT_EQ(cable_inf_path(u"C:\\Tools\\drivers/vbcable"), u"C:\\Tools\\drivers/vbcable\\vbMmeCable64_win10.inf");
  EXPECT_EQ(cable_inf_path(u"C:\\drivers/vbcable"), u"C:\\drivers/vbcable\\vbMmeCable64_win10.inf");
}

struct IdsCase {
  const char* name;
  std::u16string units;
  bool names_cable;
  friend void PrintTo(const IdsCase& value, std::ostream* out) { *out << value.name; }
};

class HardwareIds : public testing::TestWithParam<IdsCase> {};

TEST_P(HardwareIds, MatchesOnlyTheWholeIdUnderAsciiFolding) {
  EXPECT_EQ(hardware_ids_name_cable(GetParam().units), GetParam().names_cable);
}

using namespace std::string_literals;
INSTANTIATE_TEST_SUITE_P(
    Lists, HardwareIds,
    testing::Values(IdsCase{"only", u"VBAudioVACWDM\0\0"s, true},
                    IdsCase{"second", u"ROOT\\OTHER\0VBAudioVACWDM\0\0"s, true},
                    IdsCase{"lower", u"vbaudiovacwdm\0\0"s, true},
                    IdsCase{"upper", u"VBAUDIOVACWDM\0\0"s, true},
                    IdsCase{"after_empty_piece", u"Other\0\0VBAudioVACWDM\0\0"s, true},
                    IdsCase{"unterminated_last", u"Other\0VBAudioVACWDM"s, true},
                    IdsCase{"suffix", u"VBAudioVACWDM_1\0\0"s, false},
                    IdsCase{"trailing_blank", u"VBAudioVACWDM \0\0"s, false},
                    IdsCase{"enumerator_prefix", u"ROOT\\VBAudioVACWDM\0\0"s, false},
                    IdsCase{"hifi_cable", u"VBAudioHFVAIO\0\0"s, false},
                    IdsCase{"unpaired_surrogate", u"VBAudioVACWD\xD800\0\0"s, false},
                    IdsCase{"non_ascii_letter", u"VBAudioVACWD\u039C\0\0"s, false},
                    IdsCase{"empty", u"\0\0"s, false}),
    CaseName{});

sim::Device with_raw_ids(std::u16string units) {
  sim::Device device = media_class_device({});
  device.raw_hardware_ids = std::move(units);
  return device;
}

sim::Device unreadable_ids() {
  sim::Device device = media_class_device({});
  device.has_hardware_ids = false;
  return device;
}

sim::Device not_present(sim::Device device) {
  device.present = false;
  return device;
}

sim::Device of_other_class(sim::Device device) {
  device.class_guid = OTHER_CLASS;
  return device;
}

struct SearchCase {
  const char* name;
  std::vector<sim::Device> devices;
  std::optional<std::size_t> found;  // position in `devices`
  friend void PrintTo(const SearchCase& value, std::ostream* out) { *out << value.name; }
};

class Search : public testing::TestWithParam<SearchCase> {};

TEST_P(Search, FindsTheFirstPresentDeviceOfTheClassWithTheCableId) {
  sim::SimWindows windows;
  std::vector<DevInst> added;
  for (const sim::Device& device : GetParam().devices) added.push_back(windows.add_device(device));
  {
    const auto list = open_class_device_list(windows, MEDIA_CLASS);
    ASSERT_TRUE(list.has_value());
    const auto found = find_existing_cable_device(windows, list->get());
    ASSERT_TRUE(found.has_value()) << found.error().message;
    ASSERT_EQ(found->has_value(), GetParam().found.has_value());
    if (GetParam().found) {
      EXPECT_EQ((*found)->dev_inst, added[*GetParam().found]);
      EXPECT_EQ((*found)->class_guid, MEDIA_CLASS);
    }
  }
  EXPECT_EQ(windows.get_class_devs_flags, std::vector<std::uint32_t>{DIGCF_PRESENT_FLAG});
  EXPECT_EQ(windows.leaks(), "");
}

const std::u16string OVER_4096_BYTES = std::u16string(2100, u'x') + u"\0VBAudioVACWDM\0\0"s;

INSTANTIATE_TEST_SUITE_P(
    Devices, Search,
    testing::Values(
        SearchCase{"empty_class", {}, std::nullopt},
        SearchCase{"other_ids_only", {media_class_device({u"VBAudioHFVAIO"}), media_class_device({u"PCI\\VEN"})},
                   std::nullopt},
        SearchCase{"second_id_of_second_device",
                   {media_class_device({u"Other"}), media_class_device({u"Other", u"VBAudioVACWDM"})}, 1},
        SearchCase{"unreadable_skipped", {unreadable_ids(), media_class_device({u"VBAudioVACWDM"})}, 1},
        SearchCase{"over_4096_bytes_skipped", {with_raw_ids(OVER_4096_BYTES), media_class_device({u"VBAudioVACWDM"})},
                   1},
        SearchCase{"exactly_4096_bytes",
                   {with_raw_ids(std::u16string(2048 - 16, u'x') + u"\0VBAudioVACWDM\0\0"s)}, 0},
        SearchCase{"first_of_two", {media_class_device({u"VBAudioVACWDM"}), media_class_device({u"VBAudioVACWDM"})},
                   0},
        SearchCase{"not_present_not_listed",
                   {not_present(media_class_device({u"VBAudioVACWDM"})), media_class_device({u"Other"})}, std::nullopt},
        SearchCase{"other_class_not_listed", {of_other_class(media_class_device({u"VBAudioVACWDM"}))}, std::nullopt},
        // Without a cleared buffer, the second device's single NUL would expose the first
        // device's "QVBAudioVACWDM" as "\0VBAudioVACWDM".
        SearchCase{"buffer_cleared_per_device",
                   {with_raw_ids(u"QVBAudioVACWDM\0\0"s), with_raw_ids(std::u16string(1, u'\0'))}, std::nullopt}),
    CaseName{});

struct EnumFaultCase {
  const char* name;
  unsigned occurrence;
  std::uint32_t code;
  std::optional<std::string> error;
  friend void PrintTo(const EnumFaultCase& value, std::ostream* out) { *out << value.name; }
};

class EnumerationFault : public testing::TestWithParam<EnumFaultCase> {};

TEST_P(EnumerationFault, OnlyNoMoreItemsEndsTheSearchQuietly) {
  sim::SimWindows windows;
  windows.add_device(media_class_device({u"Other"}));
  windows.add_device(media_class_device({u"VBAudioVACWDM"}));
  windows.fail({"SetupDiEnumDeviceInfo", GetParam().occurrence, GetParam().code});
  const auto list = open_class_device_list(windows, MEDIA_CLASS);
  ASSERT_TRUE(list.has_value());
  const auto found = find_existing_cable_device(windows, list->get());
  if (GetParam().error) {
    ASSERT_FALSE(found.has_value());
    EXPECT_EQ(found.error().message, *GetParam().error);
  } else {
    ASSERT_TRUE(found.has_value());
    EXPECT_FALSE(found->has_value());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Codes, EnumerationFault,
    testing::Values(EnumFaultCase{"no_more_items_early", 2, ERROR_NO_MORE_ITEMS_CODE, std::nullopt},
                    EnumFaultCase{"access_denied", 2, 5, "enumerate adapter: Windows error 5"},
                    EnumFaultCase{"high_bit_code", 1, 0xE0000247, "enumerate adapter: Windows error 3758096967"}),
    CaseName{});

TEST(OpenClassDeviceList, FailureNamesTheClassEnumeration) {
  sim::SimWindows windows;
  windows.fail({"SetupDiGetClassDevsW", 1, 0xE0000247});
  const auto list = open_class_device_list(windows, MEDIA_CLASS);
  ASSERT_FALSE(list.has_value());
  EXPECT_EQ(list.error().message, "enumerate audio adapters: Windows error 3758096967");
}

struct ReadClassCase {
  const char* name;
  std::u16string class_name;
  std::optional<std::uint32_t> fault;
  std::optional<std::string> error;
  friend void PrintTo(const ReadClassCase& value, std::ostream* out) { *out << value.name; }
};

class ReadInfClass : public testing::TestWithParam<ReadClassCase> {};

TEST_P(ReadInfClass, GivesTheClassOrTheStepError) {
  sim::SimWindows windows;
  const std::u16string inf = u"C:\\p\\drivers/vbcable\\vbMmeCable64_win10.inf";
  windows.inf_classes[inf] = {MEDIA_CLASS, GetParam().class_name};
  if (GetParam().fault) windows.fail({"SetupDiGetINFClassW", 1, *GetParam().fault});
  const auto inf_class = read_inf_class(windows, inf);
  if (GetParam().error) {
    ASSERT_FALSE(inf_class.has_value());
    EXPECT_EQ(inf_class.error().message, *GetParam().error);
    return;
  }
  ASSERT_TRUE(inf_class.has_value()) << inf_class.error().message;
  EXPECT_EQ(inf_class->class_guid, MEDIA_CLASS);
  EXPECT_EQ(std::u16string_view(inf_class->class_name.data()), GetParam().class_name);
  // Everything after the name is still zero.
  for (std::size_t at = GetParam().class_name.size(); at < CLASS_NAME_UNITS; ++at) {
    ASSERT_EQ(inf_class->class_name[at], u'\0') << at;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Inf, ReadInfClass,
    testing::Values(ReadClassCase{"media", u"MEDIA", std::nullopt, std::nullopt},
                    ReadClassCase{"longest_name", std::u16string(127, u'M'), std::nullopt, std::nullopt},
                    ReadClassCase{"name_too_long", std::u16string(128, u'M'), std::nullopt,
                                  "read signed INF: Windows error 122"},
                    ReadClassCase{"access_denied", u"MEDIA", 5, "read signed INF: Windows error 5"},
                    ReadClassCase{"high_bit_code", u"MEDIA", 0xE0000247, "read signed INF: Windows error 3758096967"}),
    CaseName{});

// Wine's SetupDiGetINFClassW succeeds on a name that does not fit; a name without its NUL must
// not reach Windows as a device name.
class UnterminatedClassName final : public SetupApi {
 public:
  WinResult<void> get_inf_class(const char16_t*, Guid& guid, std::span<char16_t, CLASS_NAME_UNITS> name) override {
    guid = MEDIA_CLASS;
    std::fill(name.begin(), name.end(), u'M');
    return {};
  }
  WinResult<DevInfoRaw> get_class_devs(const Guid&, std::uint32_t) override { return unused(); }
  WinResult<void> enum_device_info(DevInfoRaw, std::uint32_t, DeviceElement&) override { return unused(); }
  WinResult<void> get_device_registry_property(DevInfoRaw, const DeviceElement&, std::uint32_t,
                                               std::span<std::byte>) override {
    return unused();
  }
  WinResult<DevInfoRaw> create_device_info_list(const Guid&) override { return unused(); }
  WinResult<void> create_device_info(DevInfoRaw, const char16_t*, const Guid&, std::uint32_t,
                                     DeviceElement&) override {
    return unused();
  }
  WinResult<void> set_device_registry_property(DevInfoRaw, const DeviceElement&, std::uint32_t,
                                               std::span<const std::byte>) override {
    return unused();
  }
  WinResult<void> call_class_installer(std::uint32_t, DevInfoRaw, const DeviceElement&) override { return unused(); }
  WinResult<void> update_driver_for_plug_and_play_devices(const char16_t*, const char16_t*, std::uint32_t,
                                                         std::int32_t&) override {
    return unused();
  }
  void destroy_device_info_list(DevInfoRaw) override { ADD_FAILURE() << "no list was opened"; }

 private:
  static std::unexpected<WindowsError> unused() {
    ADD_FAILURE() << "only the INF class is read";
    return std::unexpected(WindowsError{1});
  }
};

TEST(ReadInfClass, NameThatFillsTheBufferIsReportedAsTooSmall) {
  UnterminatedClassName setup;
  const auto inf_class = read_inf_class(setup, u"C:\\x.inf");
  ASSERT_FALSE(inf_class.has_value());
  EXPECT_EQ(inf_class.error().message, "read signed INF: Windows error 122");
}

struct HealthCase {
  const char* name;
  std::uint32_t status;
  std::uint32_t problem;
  bool status_fails;
  bool healthy;
  friend void PrintTo(const HealthCase& value, std::ostream* out) { *out << value.name; }
};

class Health : public testing::TestWithParam<HealthCase> {};

TEST_P(Health, StartedWithoutProblemIsHealthy) {
  sim::SimWindows windows;
  sim::Device device = media_class_device({u"VBAudioVACWDM"});
  device.status = GetParam().status;
  device.problem = GetParam().problem;
  const DevInst devinst = windows.add_device(device);
  if (GetParam().status_fails) windows.fail({"CM_Get_DevNode_Status", 1, sim::CR_NO_SUCH_DEVNODE_CODE});
  EXPECT_EQ(cable_device_is_healthy(windows, devinst), GetParam().healthy);
}

INSTANTIATE_TEST_SUITE_P(
    Status, Health,
    testing::Values(HealthCase{"started", DN_STARTED_BIT, 0, false, true},
                    HealthCase{"started_with_other_bits", DN_STARTED_BIT | 0x0000'0006 | DN_NEED_RESTART_BIT, 0, false,
                               true},
                    HealthCase{"started_with_problem", DN_STARTED_BIT, 28, false, false},
                    HealthCase{"not_started", 0x0000'0006, 0, false, false},
                    HealthCase{"nothing", 0, 0, false, false},
                    HealthCase{"status_unreadable", DN_STARTED_BIT, 0, true, false}),
    CaseName{});

// Wine's CM_Get_DevNode_Status succeeds without writing its outputs.
class SilentStatus final : public ConfigManager {
 public:
  ConfigRet get_device_id_list_size(std::uint32_t&, const char16_t*, std::uint32_t) override { return 19; }
  ConfigRet get_device_id_list(const char16_t*, std::span<char16_t>, std::uint32_t) override { return 19; }
  ConfigRet locate_devnode(DevInst&, const char16_t*, std::uint32_t) override { return 19; }
  ConfigRet get_devnode_registry_property(DevInst, std::uint32_t, std::span<std::byte>, std::uint32_t) override {
    return 19;
  }
  ConfigRet get_devnode_status(std::uint32_t&, std::uint32_t&, DevInst, std::uint32_t flags) override {
    flags_seen = flags;
    return CR_SUCCESS_CODE;
  }
  ConfigRet get_parent(DevInst&, DevInst, std::uint32_t) override { return 19; }
  std::optional<std::uint32_t> flags_seen;
};

TEST(Health, StatusLeftUnwrittenCountsAsNotStarted) {
  SilentStatus config;
  EXPECT_FALSE(cable_device_is_healthy(config, 0));
  EXPECT_EQ(config.flags_seen, 0u);
}

struct CheckCase {
  const char* name;
  std::vector<sim::Device> devices;
  std::optional<ExistingCableDevice> result;  // none: the not-healthy message
  unsigned status_queries;
  friend void PrintTo(const CheckCase& value, std::ostream* out) { *out << value.name; }
};

sim::Device with_status(sim::Device device, std::uint32_t status, std::uint32_t problem) {
  device.status = status;
  device.problem = problem;
  return device;
}

class CheckExisting : public testing::TestWithParam<CheckCase> {};

TEST_P(CheckExisting, JudgesOnlyTheFirstCableDevice) {
  sim::SimWindows windows;
  for (const sim::Device& device : GetParam().devices) windows.add_device(device);
  const auto list = open_class_device_list(windows, MEDIA_CLASS);
  ASSERT_TRUE(list.has_value());
  const auto checked = check_existing_cable_device(windows, windows, list->get());
  if (GetParam().result) {
    ASSERT_TRUE(checked.has_value()) << checked.error().message;
    EXPECT_EQ(*checked, *GetParam().result);
  } else {
    ASSERT_FALSE(checked.has_value());
    EXPECT_EQ(checked.error().message, UNHEALTHY_CABLE_DEVICE_MESSAGE);
  }
  EXPECT_EQ(windows.calls("CM_Get_DevNode_Status"), GetParam().status_queries);
}

const sim::Device CABLE = media_class_device({u"VBAudioVACWDM"});

INSTANTIATE_TEST_SUITE_P(
    Devices, CheckExisting,
    testing::Values(CheckCase{"absent", {media_class_device({u"Other"})}, ExistingCableDevice::Absent, 0},
                    CheckCase{"healthy", {CABLE}, ExistingCableDevice::Healthy, 1},
                    CheckCase{"problem", {with_status(CABLE, DN_STARTED_BIT, 10)}, std::nullopt, 1},
                    CheckCase{"not_started", {with_status(CABLE, 0, 0)}, std::nullopt, 1},
                    CheckCase{"healthy_then_unhealthy", {CABLE, with_status(CABLE, 0, 22)},
                              ExistingCableDevice::Healthy, 1},
                    CheckCase{"unhealthy_then_healthy", {with_status(CABLE, 0, 22), CABLE}, std::nullopt, 1}),
    CaseName{});

}  // namespace
}  // namespace orvane
