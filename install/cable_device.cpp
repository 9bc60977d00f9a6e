#include "install/cable_device.h"

#include <algorithm>
#include <span>

#include "platform/text.h"

namespace orvane {
namespace {

constexpr std::string_view CABLE_HARDWARE_ID_UTF8 = "VBAudioVACWDM";

// A device whose ids cannot be read (none, a list over the buffer, any other failure) is
// simply not the cable device.
bool device_carries_cable_id(SetupApi& setup, DevInfoRaw list, const DeviceElement& element) {
  std::array<char16_t, HARDWARE_ID_BUFFER_UNITS> buffer{};
  const auto read = setup.get_device_registry_property(list, element, SPDRP_HARDWAREID_PROPERTY,
                                                       std::as_writable_bytes(std::span(buffer)));
  return read && hardware_ids_name_cable(std::u16string_view(buffer.data(), buffer.size()));
}

}  // namespace

std::u16string cable_inf_path(std::u16string_view package_folder) {
  std::u16string path(package_folder);
  path += u'\\';
  path += CABLE_INF_FILE;
  return path;
}

SetupResult<InfClass> read_inf_class(SetupApi& setup, const std::u16string& inf_path) {
  InfClass inf_class;
  if (auto read = setup.get_inf_class(inf_path.c_str(), inf_class.class_guid, inf_class.class_name); !read) {
    return std::unexpected(windows_step_error("read signed INF", read.error()));
  }
  // The name later goes to Windows as a NUL-terminated string; a name that filled the whole
  // buffer was cut short, which Windows reports as a buffer too small.
  if (std::ranges::find(inf_class.class_name, u'\0') == inf_class.class_name.end()) {
    return std::unexpected(windows_step_error("read signed INF", WindowsError{ERROR_INSUFFICIENT_BUFFER_CODE}));
  }
  return inf_class;
}

SetupResult<DeviceInfoList> open_class_device_list(SetupApi& setup, const Guid& class_guid) {
  const auto list = setup.get_class_devs(class_guid, DIGCF_PRESENT_FLAG);
  if (!list) return std::unexpected(windows_step_error("enumerate audio adapters", list.error()));
  return DeviceInfoList(setup, *list);
}

bool hardware_ids_name_cable(std::u16string_view units) {
  return std::ranges::any_of(split_at_nul(units, EmptyPieces::Keep), [](std::u16string_view piece) {
    return ascii_case_fold_equal(utf16_to_utf8(piece), CABLE_HARDWARE_ID_UTF8);
  });
}

SetupResult<std::optional<DeviceElement>> find_existing_cable_device(SetupApi& setup, DevInfoRaw list) {
  for (std::uint32_t index = 0;; ++index) {
    DeviceElement element{};
    if (auto listed = setup.enum_device_info(list, index, element); !listed) {
      if (listed.error().code == ERROR_NO_MORE_ITEMS_CODE) return std::nullopt;
      return std::unexpected(windows_step_error("enumerate adapter", listed.error()));
    }
    if (device_carries_cable_id(setup, list, element)) return element;
  }
}

bool cable_device_is_healthy(ConfigManager& config, DevInst devinst) {
  return devnode_started_without_problem(config, devinst);
}

SetupResult<ExistingCableDevice> check_existing_cable_device(SetupApi& setup, ConfigManager& config,
                                                             DevInfoRaw list) {
  const auto found = find_existing_cable_device(setup, list);
  if (!found) return std::unexpected(found.error());
  if (!*found) return ExistingCableDevice::Absent;
  if (!cable_device_is_healthy(config, (*found)->dev_inst)) {
    return setup_failure(std::string(UNHEALTHY_CABLE_DEVICE_MESSAGE));
  }
  return ExistingCableDevice::Healthy;
}

}  // namespace orvane
