#include "tests/sim/sim_windows.h"

#include <algorithm>
#include <cstring>

#include "platform/text.h"

namespace orvane::sim {
namespace {

char16_t ascii_lower(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c; }

bool equal_ignoring_ascii_case(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char16_t x, char16_t y) {
           return ascii_lower(x) == ascii_lower(y);
         });
}

std::u16string folded(std::u16string_view text) {
  std::u16string key(text);
  for (char16_t& unit : key) unit = ascii_lower(unit);
  return key;
}

std::u16string from_c(const char16_t* text) { return text == nullptr ? std::u16string() : std::u16string(text); }

template <typename T>
std::span<const std::byte> bytes_of(const std::basic_string<T>& text) {
  return std::as_bytes(std::span(text.data(), text.size()));
}

std::unexpected<WindowsError> win_error(std::uint32_t code) { return std::unexpected(WindowsError{code}); }

constexpr HResult S_OK_HRESULT = 0;

}  // namespace

std::u16string multi_string(const std::vector<std::u16string>& ids) {
  std::u16string units;
  for (const auto& id : ids) {
    units += id;
    units.push_back(u'\0');
  }
  units.push_back(u'\0');
  return units;
}

SimWindows::SimWindows() = default;

// ---------------------------------------------------------------------------------------------
// Tree, files, faults and counters

DevInst SimWindows::add_device(Device device) {
  const std::lock_guard lock(mutex_);
  const DevInst devinst = next_devinst_++;
  index_device(devinst, device);
  devices_.emplace(devinst, std::move(device));
  return devinst;
}

DevInst SimWindows::add_endpoint(std::u16string_view endpoint_id, std::optional<DevInst> parent,
                                 std::optional<std::uint32_t> form_factor) {
  Device endpoint;
  endpoint.instance_id = u"SWD\\MMDEVAPI\\" + std::u16string(endpoint_id);
  endpoint.has_hardware_ids = false;
  endpoint.parent = parent;
  endpoint.endpoint_id = std::u16string(endpoint_id);
  endpoint.form_factor = form_factor;
  return add_device(std::move(endpoint));
}

Device& SimWindows::device(DevInst devinst) {
  const std::lock_guard lock(mutex_);
  index_stale_ = true;
  return devices_.at(devinst);
}

std::vector<DevInst> SimWindows::devices_with_hardware_id(std::u16string_view hardware_id) {
  const std::lock_guard lock(mutex_);
  std::vector<DevInst> found;
  for (const auto& [devinst, device] : devices_) {
    for (const auto& id : device.hardware_ids) {
      if (equal_ignoring_ascii_case(id, hardware_id)) {
        found.push_back(devinst);
        break;
      }
    }
  }
  return found;
}

std::u16string SimWindows::file_key(std::u16string_view path) {
  std::u16string key;
  if (path.starts_with(u"\\\\?\\UNC\\")) {
    key = u"\\\\" + std::u16string(path.substr(8));
  } else if (path.starts_with(u"\\\\?\\")) {
    key = std::u16string(path.substr(4));
  } else {
    key = std::u16string(path);
  }
  for (char16_t& unit : key) unit = unit == u'/' ? u'\\' : ascii_lower(unit);
  return key;
}

void SimWindows::add_file(std::u16string_view path, std::string_view content) {
  const std::lock_guard lock(mutex_);
  files_[file_key(path)] = FileEntry{std::string(content), false, false};
}

void SimWindows::add_folder(std::u16string_view path) {
  const std::lock_guard lock(mutex_);
  files_[file_key(path)] = FileEntry{{}, true, false};
}

void SimWindows::lock_file(std::u16string_view path) {
  const std::lock_guard lock(mutex_);
  files_.at(file_key(path)).locked = true;
}

void SimWindows::remove_file(std::u16string_view path) {
  const std::lock_guard lock(mutex_);
  files_.erase(file_key(path));
}

void SimWindows::fail(Fault fault) {
  const std::lock_guard lock(mutex_);
  faults_.push_back(std::move(fault));
}

std::optional<Fault> SimWindows::enter(const std::string& call) {
  const unsigned count = ++call_counts_[call];
  if (record_call_log) call_log_.push_back(call);
  for (const Fault& fault : faults_) {
    if (fault.call == call && (fault.occurrence == 0 || fault.occurrence == count)) return fault;
  }
  return std::nullopt;
}

unsigned SimWindows::calls(const std::string& call) const {
  const std::lock_guard lock(mutex_);
  const auto found = call_counts_.find(call);
  return found == call_counts_.end() ? 0 : found->second;
}

std::vector<std::string> SimWindows::call_log() const {
  const std::lock_guard lock(mutex_);
  return call_log_;
}

int SimWindows::open_device_lists() const {
  const std::lock_guard lock(mutex_);
  return static_cast<int>(lists_.size());
}

int SimWindows::open_com_objects() const {
  const std::lock_guard lock(mutex_);
  return static_cast<int>(com_objects_.size());
}

int SimWindows::open_prop_variants() const {
  const std::lock_guard lock(mutex_);
  return static_cast<int>(prop_variants_.size());
}

int SimWindows::open_files() const {
  const std::lock_guard lock(mutex_);
  return static_cast<int>(open_files_.size());
}

int SimWindows::released_twice() const {
  const std::lock_guard lock(mutex_);
  return released_twice_;
}

bool SimWindows::com_balanced() const {
  const std::lock_guard lock(mutex_);
  if (com_unbalanced_) return false;
  return std::all_of(com_depth_.begin(), com_depth_.end(), [](const auto& entry) { return entry.second == 0; });
}

std::vector<std::thread::id> SimWindows::com_threads() const {
  const std::lock_guard lock(mutex_);
  return com_threads_;
}

std::vector<std::u16string> SimWindows::registered_devices_without_driver() const {
  const std::lock_guard lock(mutex_);
  std::vector<std::u16string> orphans;
  for (const auto& [devinst, device] : devices_) {
    if (device.registered_by_setup_api && device.present && !device.installed_inf) orphans.push_back(device.instance_id);
  }
  return orphans;
}

std::string SimWindows::leaks() const {
  std::string text;
  const auto note = [&](int count, const char* what) {
    if (count != 0) text += std::to_string(count) + " " + what + "; ";
  };
  note(open_device_lists(), "device lists open");
  note(open_com_objects(), "COM objects unreleased");
  note(open_prop_variants(), "PROPVARIANTs uncleared");
  note(open_files(), "files open");
  note(released_twice(), "double releases");
  if (!com_balanced()) text += "COM initialise/uninitialise unbalanced; ";
  return text;
}

// ---------------------------------------------------------------------------------------------
// Process

std::u16string SimWindows::command_line() {
  const std::lock_guard lock(mutex_);
  enter("GetCommandLineW");
  return command_line_text;
}

ModuleFileName SimWindows::module_file_name(std::span<char16_t> buffer) {
  const std::lock_guard lock(mutex_);
  if (const auto fault = enter("GetModuleFileNameW")) return {0, fault->code};
  if (buffer.empty()) return {0, ERROR_INSUFFICIENT_BUFFER_CODE};
  // As Windows: a path that does not fit is truncated to size - 1 units and the size returned.
  const std::size_t fits = std::min(module_path.size(), buffer.size() - 1);
  std::copy_n(module_path.data(), fits, buffer.data());
  buffer[fits] = u'\0';
  if (module_path.size() >= buffer.size()) {
    return {static_cast<std::uint32_t>(buffer.size()), ERROR_INSUFFICIENT_BUFFER_CODE};
  }
  return {static_cast<std::uint32_t>(fits), 0};
}

std::u16string SimWindows::system_error_text(std::uint32_t code) {
  const std::lock_guard lock(mutex_);
  enter("FormatMessageW");
  switch (code) {
    case ERROR_FILE_NOT_FOUND_CODE:
      return u"The system cannot find the file specified.\r\n";
    case ERROR_ACCESS_DENIED_CODE:
      return u"Access is denied. \r\n";
    default:
      return u"Unknown error.\r\n";
  }
}

WinResult<std::u16string> SimWindows::full_path_name(const char16_t* path) {
  const std::lock_guard lock(mutex_);
  if (const auto fault = enter("GetFullPathNameW")) return win_error(fault->code);
  std::u16string full = from_c(path);
  std::replace(full.begin(), full.end(), u'/', u'\\');
  return full;
}

WinResult<FileRaw> SimWindows::open_file_for_reading(const char16_t* path) {
  const std::lock_guard lock(mutex_);
  const std::u16string text = from_c(path);
  opened_paths.push_back(text);
  if (const auto fault = enter("CreateFileW")) return win_error(fault->code);
  // A path of MAX_PATH or more opens only in its extended-length form, as on Windows.
  if (text.size() >= 260 && !text.starts_with(u"\\\\?\\")) return win_error(ERROR_PATH_NOT_FOUND_CODE);
  const auto found = files_.find(file_key(text));
  if (found == files_.end()) return win_error(ERROR_FILE_NOT_FOUND_CODE);
  if (found->second.folder) return win_error(ERROR_ACCESS_DENIED_CODE);
  if (found->second.locked) return win_error(ERROR_SHARING_VIOLATION_CODE);
  const FileRaw raw = next_file_++;
  open_files_.emplace(raw, OpenFile{found->second.content, 0});
  return raw;
}

WinResult<std::uint64_t> SimWindows::file_size(FileRaw file) {
  const std::lock_guard lock(mutex_);
  if (const auto fault = enter("GetFileSizeEx")) return win_error(fault->code);
  return file_size_override ? *file_size_override : open_files_.at(file).content.size();
}

WinResult<std::size_t> SimWindows::read_file(FileRaw file, std::span<std::byte> buffer) {
  const std::lock_guard lock(mutex_);
  if (const auto fault = enter("ReadFile")) return win_error(fault->code);
  OpenFile& open = open_files_.at(file);
  const std::size_t count = std::min({buffer.size(), open.content.size() - open.position, read_chunk_limit});
  std::memcpy(buffer.data(), open.content.data() + open.position, count);
  open.position += count;
  return count;
}

void SimWindows::close_file(FileRaw file) {
  const std::lock_guard lock(mutex_);
  enter("CloseHandle");
  if (open_files_.erase(file) == 0) ++released_twice_;
}

void SimWindows::write_standard_error(std::string_view utf8) {
  const std::lock_guard lock(mutex_);
  enter("WriteStandardError");
  if (has_stderr) stderr_bytes.append(utf8);
}

bool SimWindows::environment_variable_present(const char16_t* name) {
  const std::lock_guard lock(mutex_);
  enter("GetEnvironmentVariableW");
  return environment.contains(from_c(name));
}

void SimWindows::set_current_thread_description(const char16_t* description) {
  const std::lock_guard lock(mutex_);
  enter("SetThreadDescription");
  thread_descriptions[std::this_thread::get_id()] = from_c(description);
}

// ---------------------------------------------------------------------------------------------
// SetupAPI

WinResult<void> SimWindows::get_inf_class(const char16_t* inf_path, Guid& class_guid,
                                          std::span<char16_t, CLASS_NAME_UNITS> class_name) {
  const std::lock_guard lock(mutex_);
  if (const auto fault = enter("SetupDiGetINFClassW")) return win_error(fault->code);
  const auto found = inf_classes.find(from_c(inf_path));
  if (found == inf_classes.end()) return win_error(ERROR_FILE_NOT_FOUND_CODE);
  class_guid = found->second.guid;
  if (found->second.name.size() + 1 > class_name.size()) return win_error(ERROR_INSUFFICIENT_BUFFER_CODE);
  std::copy(found->second.name.begin(), found->second.name.end(), class_name.begin());
  class_name[found->second.name.size()] = u'\0';
  return {};
}

WinResult<DevInfoRaw> SimWindows::get_class_devs(const Guid& class_guid, std::uint32_t flags) {
  const std::lock_guard lock(mutex_);
  get_class_devs_flags.push_back(flags);
  if (const auto fault = enter("SetupDiGetClassDevsW")) return win_error(fault->code);
  DeviceList list{class_guid, {}};
  for (const auto& [devinst, device] : devices_) {
    if (device.class_guid == class_guid && (device.present || (flags & DIGCF_PRESENT_FLAG) == 0)) {
      list.members.push_back(devinst);
    }
  }
  const DevInfoRaw raw = next_list_++;
  lists_.emplace(raw, std::move(list));
  return raw;
}

WinResult<void> SimWindows::enum_device_info(DevInfoRaw list, std::uint32_t index, DeviceElement& element) {
  const std::lock_guard lock(mutex_);
  if (const auto fault = enter("SetupDiEnumDeviceInfo")) return win_error(fault->code);
  if (element.cb_size != sizeof(DeviceElement)) return win_error(87);  // ERROR_INVALID_PARAMETER
  const DeviceList& members = lists_.at(list);
  if (index >= members.members.size()) return win_error(ERROR_NO_MORE_ITEMS_CODE);
  const DevInst devinst = members.members[index];
  element.class_guid = devices_.at(devinst).class_guid;
  element.dev_inst = devinst;
  element.reserved = list ^ devinst;
  return {};
}

WinResult<void> SimWindows::get_device_registry_property(DevInfoRaw list, const DeviceElement& element,
                                                         std::uint32_t property, std::span<std::byte> buffer) {
  const std::lock_guard lock(mutex_);
  if (const auto fault = enter("SetupDiGetDeviceRegistryPropertyW")) return win_error(fault->code);
  if (property != SPDRP_HARDWAREID_PROPERTY || element.reserved != (list ^ element.dev_inst)) return win_error(87);
  const Device& device = devices_.at(element.dev_inst);
  if (!device.has_hardware_ids) return win_error(ERROR_INVALID_DATA_CODE);
  const std::u16string units = hardware_id_units(device);
  const auto bytes = bytes_of(units);
  if (bytes.size() > buffer.size()) return win_error(ERROR_INSUFFICIENT_BUFFER_CODE);
  std::memcpy(buffer.data(), bytes.data(), bytes.size());
  return {};
}

WinResult<DevInfoRaw> SimWindows::create_device_info_list(const Guid& class_guid) {
  const std::lock_guard lock(mutex_);
  if (const auto fault = enter("SetupDiCreateDeviceInfoList")) return win_error(fault->code);
  const DevInfoRaw raw = next_list_++;
  lists_.emplace(raw, DeviceList{class_guid, {}});
  return raw;
}

WinResult<void> SimWindows::create_device_info(DevInfoRaw list, const char16_t* device_name, const Guid& class_guid,
                                               std::uint32_t flags, DeviceElement& element) {
  const std::lock_guard lock(mutex_);
  create_device_info_flags.push_back(flags);
  if (const auto fault = enter("SetupDiCreateDeviceInfoW")) return win_error(fault->code);
  if (element.cb_size != sizeof(DeviceElement)) return win_error(87);
  // DICD_GENERATE_ID: ROOT\<NAME>\0000, 0001, ...
  std::u16string name = from_c(device_name);
  for (char16_t& unit : name) unit = (unit >= u'a' && unit <= u'z') ? static_cast<char16_t>(unit - u'a' + u'A') : unit;
  const unsigned number = generated_ids_[name]++;
  std::string digits = std::to_string(number);
  digits.insert(0, 4 - std::min<std::size_t>(4, digits.size()), '0');
  Device device;
  device.instance_id = u"ROOT\\" + name + u"\\" + utf8_to_utf16(digits);
  device.has_hardware_ids = false;
  device.class_guid = class_guid;
  device.present = false;  // not in the tree until registered
  device.status = 0;
  const DevInst devinst = next_devinst_++;
  index_device(devinst, device);
  devices_.emplace(devinst, std::move(device));
  lists_.at(list).members.push_back(devinst);
  element.class_guid = class_guid;
  element.dev_inst = devinst;
  element.reserved = list ^ devinst;
  return {};
}

WinResult<void> SimWindows::set_device_registry_property(DevInfoRaw list, const DeviceElement& element,
                                                         std::uint32_t property, std::span<const std::byte> value) {
  const std::lock_guard lock(mutex_);
  hardware_id_properties_set.emplace_back(value.begin(), value.end());
  if (const auto fault = enter("SetupDiSetDeviceRegistryPropertyW")) return win_error(fault->code);
  if (property != SPDRP_HARDWAREID_PROPERTY || element.reserved != (list ^ element.dev_inst) || value.size() % 2 != 0) {
    return win_error(87);
  }
  std::u16string units(value.size() / 2, u'\0');
  std::memcpy(units.data(), value.data(), value.size());
  Device& device = devices_.at(element.dev_inst);
  device.hardware_ids.clear();
  for (const auto piece : split_at_nul(units, EmptyPieces::Skip)) device.hardware_ids.emplace_back(piece);
  device.has_hardware_ids = true;
  return {};
}

WinResult<void> SimWindows::call_class_installer(std::uint32_t function, DevInfoRaw list,
                                                 const DeviceElement& element) {
  const std::lock_guard lock(mutex_);
  class_installer_calls.push_back(function);
  if (const auto fault = enter(function == DIF_REMOVE_CODE ? "SetupDiCallClassInstaller(DIF_REMOVE)"
                                                           : "SetupDiCallClassInstaller(DIF_REGISTERDEVICE)")) {
    return win_error(fault->code);
  }
  if (element.reserved != (list ^ element.dev_inst)) return win_error(87);
  Device& device = devices_.at(element.dev_inst);
  if (function == DIF_REGISTERDEVICE_CODE) {
    device.present = true;
    device.registered_by_setup_api = true;
  } else if (function == DIF_REMOVE_CODE) {
    device.present = false;
  }
  return {};
}

WinResult<void> SimWindows::update_driver_for_plug_and_play_devices(const char16_t* hardware_id,
                                                                   const char16_t* inf_path, std::uint32_t flags,
                                                                   std::int32_t& reboot) {
  const std::lock_guard lock(mutex_);
  driver_updates.push_back({from_c(hardware_id), from_c(inf_path), flags, reboot});
  if (const auto fault = enter("UpdateDriverForPlugAndPlayDevicesW")) return win_error(fault->code);
  bool matched = false;
  for (auto& [devinst, device] : devices_) {
    if (!device.present) continue;
    for (const auto& id : device.hardware_ids) {
      if (equal_ignoring_ascii_case(id, from_c(hardware_id))) {
        device.installed_inf = from_c(inf_path);
        device.status = DN_STARTED_BIT;
        matched = true;
      }
    }
  }
  if (!matched) return win_error(0xE000020B);  // ERROR_NO_SUCH_DEVINST
  reboot = update_sets_reboot;
  return {};
}

void SimWindows::destroy_device_info_list(DevInfoRaw list) {
  const std::lock_guard lock(mutex_);
  enter("SetupDiDestroyDeviceInfoList");
  destroyed_lists.push_back(list);
  const auto found = lists_.find(list);
  if (found == lists_.end()) {
    ++released_twice_;
    return;
  }
  // Elements that were never registered go away with their list.
  for (const DevInst member : found->second.members) {
    const auto device = devices_.find(member);
    if (device != devices_.end() && !device->second.present && !device->second.registered_by_setup_api) {
      devices_.erase(device);
    }
  }
  lists_.erase(found);
}

// ---------------------------------------------------------------------------------------------
// Configuration manager

std::u16string SimWindows::hardware_id_units(const Device& device) const {
  return device.raw_hardware_ids ? *device.raw_hardware_ids : multi_string(device.hardware_ids);
}

void SimWindows::index_device(DevInst devinst, const Device& device) {
  instance_index_[folded(device.instance_id)].push_back(devinst);
  if (device.endpoint_id) endpoint_index_[*device.endpoint_id].push_back(devinst);
}

void SimWindows::reindex_if_stale() {
  if (!index_stale_) return;
  instance_index_.clear();
  endpoint_index_.clear();
  for (const auto& [devinst, device] : devices_) index_device(devinst, device);
  index_stale_ = false;
}

std::optional<DevInst> SimWindows::find_instance(std::u16string_view instance_id) {
  const auto matches = [&](const Device& device) {
    return device.present && equal_ignoring_ascii_case(device.instance_id, instance_id);
  };
  reindex_if_stale();
  if (const auto hit = instance_index_.find(folded(instance_id)); hit != instance_index_.end()) {
    for (const DevInst devinst : hit->second) {
      const auto found = devices_.find(devinst);
      if (found != devices_.end() && matches(found->second)) return devinst;
    }
  }
  for (const auto& [devinst, device] : devices_) {
    if (matches(device)) return devinst;
  }
  return std::nullopt;
}

std::optional<DevInst> SimWindows::find_endpoint(std::u16string_view endpoint_id) {
  const auto matches = [&](const Device& device) {
    return device.present && device.endpoint_id && *device.endpoint_id == endpoint_id;
  };
  reindex_if_stale();
  if (const auto hit = endpoint_index_.find(std::u16string(endpoint_id)); hit != endpoint_index_.end()) {
    for (const DevInst devinst : hit->second) {
      const auto found = devices_.find(devinst);
      if (found != devices_.end() && matches(found->second)) return devinst;
    }
  }
  for (const auto& [devinst, device] : devices_) {
    if (matches(device)) return devinst;
  }
  return std::nullopt;
}

namespace {
std::u16string present_id_list(const std::map<DevInst, Device>& devices) {
  std::vector<std::u16string> ids;
  for (const auto& [devinst, device] : devices) {
    if (device.present) ids.push_back(device.instance_id);
  }
  return multi_string(ids);
}
}  // namespace

ConfigRet SimWindows::get_device_id_list_size(std::uint32_t& length, const char16_t* filter, std::uint32_t flags) {
  const std::lock_guard lock(mutex_);
  if (const auto fault = enter("CM_Get_Device_ID_List_SizeW")) return fault->code;
  if (filter != nullptr || flags != CM_GETIDLIST_FILTER_PRESENT_FLAG) return 0x1F;  // CR_INVALID_FLAG
  length = static_cast<std::uint32_t>(device_id_list_override ? device_id_list_override->size()
                                                              : present_id_list(devices_).size());
  return CR_SUCCESS_CODE;
}

ConfigRet SimWindows::get_device_id_list(const char16_t* filter, std::span<char16_t> buffer, std::uint32_t flags) {
  const std::lock_guard lock(mutex_);
  if (const auto fault = enter("CM_Get_Device_ID_ListW")) return fault->code;
  if (filter != nullptr || flags != CM_GETIDLIST_FILTER_PRESENT_FLAG) return 0x1F;
  const std::u16string list = device_id_list_override ? *device_id_list_override : present_id_list(devices_);
  if (list.size() > buffer.size()) return CR_BUFFER_SMALL_CODE;
  std::copy(list.begin(), list.end(), buffer.begin());
  return CR_SUCCESS_CODE;
}

ConfigRet SimWindows::locate_devnode(DevInst& devinst, const char16_t* device_id, std::uint32_t flags) {
  const std::lock_guard lock(mutex_);
  if (const auto fault = enter("CM_Locate_DevNodeW")) return fault->code;
  if (flags != CM_LOCATE_DEVNODE_NORMAL_FLAG) return 0x1F;
  const auto found = find_instance(from_c(device_id));
  if (!found) return CR_NO_SUCH_DEVNODE_CODE;
  devinst = *found;
  return CR_SUCCESS_CODE;
}

ConfigRet SimWindows::get_devnode_registry_property(DevInst devinst, std::uint32_t property,
                                                    std::span<std::byte> buffer, std::uint32_t flags) {
  const std::lock_guard lock(mutex_);
  if (const auto fault = enter("CM_Get_DevNode_Registry_PropertyW")) return fault->code;
  const auto found = devices_.find(devinst);
  if (found == devices_.end() || !found->second.present) return CR_INVALID_DEVNODE_CODE;
  if (property != CM_DRP_HARDWAREID_PROPERTY || flags != 0) return 0x1F;
  if (!found->second.has_hardware_ids) return CR_NO_SUCH_VALUE_CODE;
  const std::u16string units = hardware_id_units(found->second);
  const auto bytes = bytes_of(units);
  if (bytes.size() > buffer.size()) return CR_BUFFER_SMALL_CODE;
  std::memcpy(buffer.data(), bytes.data(), bytes.size());
  return CR_SUCCESS_CODE;
}

ConfigRet SimWindows::get_devnode_status(std::uint32_t& status, std::uint32_t& problem, DevInst devinst,
                                         std::uint32_t flags) {
  const std::lock_guard lock(mutex_);
  if (const auto fault = enter("CM_Get_DevNode_Status")) return fault->code;
  const auto found = devices_.find(devinst);
  if (found == devices_.end() || flags != 0) return CR_INVALID_DEVNODE_CODE;
  status = found->second.status;
  problem = found->second.problem;
  return CR_SUCCESS_CODE;
}

ConfigRet SimWindows::get_parent(DevInst& parent, DevInst devinst, std::uint32_t flags) {
  const std::lock_guard lock(mutex_);
  if (const auto fault = enter("CM_Get_Parent")) return fault->code;
  const auto found = devices_.find(devinst);
  if (found == devices_.end() || flags != 0) return CR_INVALID_DEVNODE_CODE;
  if (!found->second.parent) return CR_NO_SUCH_DEVNODE_CODE;
  parent = *found->second.parent;
  return CR_SUCCESS_CODE;
}

// ---------------------------------------------------------------------------------------------
// COM and the endpoint property store

ComRaw SimWindows::new_com_object(ComObject object) {
  const std::uintptr_t raw = next_com_++;
  com_objects_.emplace(raw, object);
  return reinterpret_cast<ComRaw>(raw);
}

HResult SimWindows::co_initialize_multithreaded() {
  const std::lock_guard lock(mutex_);
  if (const auto fault = enter("CoInitializeEx")) return static_cast<HResult>(fault->code);
  const auto thread = std::this_thread::get_id();
  com_threads_.push_back(thread);
  return com_depth_[thread]++ == 0 ? S_OK_HRESULT : S_FALSE_HRESULT;
}

void SimWindows::co_uninitialize() {
  const std::lock_guard lock(mutex_);
  enter("CoUninitialize");
  if (--com_depth_[std::this_thread::get_id()] < 0) com_unbalanced_ = true;
}

HResult SimWindows::create_device_enumerator(ComRaw& enumerator) {
  const std::lock_guard lock(mutex_);
  if (const auto fault = enter("CoCreateInstance")) {
    if (!fault->null_success) return static_cast<HResult>(fault->code);
    enumerator = nullptr;
    return S_OK_HRESULT;
  }
  if (com_depth_[std::this_thread::get_id()] <= 0) return CO_E_NOTINITIALIZED_HRESULT;
  enumerator = new_com_object({ComObject::Kind::Enumerator, std::nullopt});
  return S_OK_HRESULT;
}

HResult SimWindows::get_device(ComRaw enumerator, const char16_t* endpoint_id, ComRaw& device) {
  const std::lock_guard lock(mutex_);
  if (const auto fault = enter("IMMDeviceEnumerator::GetDevice")) {
    if (!fault->null_success) return static_cast<HResult>(fault->code);
    device = nullptr;
    return S_OK_HRESULT;
  }
  const auto object = com_objects_.find(reinterpret_cast<std::uintptr_t>(enumerator));
  if (object == com_objects_.end() || object->second.kind != ComObject::Kind::Enumerator) return E_NOTFOUND_HRESULT;
  const auto found = find_endpoint(from_c(endpoint_id));
  if (!found) return E_NOTFOUND_HRESULT;
  device = new_com_object({ComObject::Kind::Device, *found});
  return S_OK_HRESULT;
}

HResult SimWindows::open_property_store(ComRaw device, std::uint32_t access, ComRaw& store) {
  const std::lock_guard lock(mutex_);
  if (const auto fault = enter("IMMDevice::OpenPropertyStore")) {
    if (!fault->null_success) return static_cast<HResult>(fault->code);
    store = nullptr;
    return S_OK_HRESULT;
  }
  const auto object = com_objects_.find(reinterpret_cast<std::uintptr_t>(device));
  if (object == com_objects_.end() || object->second.kind != ComObject::Kind::Device || access != STGM_READ_MODE) {
    return static_cast<HResult>(0x80070057);  // E_INVALIDARG
  }
  store = new_com_object({ComObject::Kind::PropertyStore, object->second.endpoint});
  return S_OK_HRESULT;
}

HResult SimWindows::get_form_factor_value(ComRaw store, PropVariantRaw& value) {
  const std::lock_guard lock(mutex_);
  if (const auto fault = enter("IPropertyStore::GetValue")) return static_cast<HResult>(fault->code);
  const auto object = com_objects_.find(reinterpret_cast<std::uintptr_t>(store));
  if (object == com_objects_.end() || object->second.kind != ComObject::Kind::PropertyStore) {
    return static_cast<HResult>(0x80070057);
  }
  const std::uintptr_t raw = next_com_++;
  prop_variants_.emplace(raw, devices_.at(*object->second.endpoint).form_factor);
  value = reinterpret_cast<PropVariantRaw>(raw);
  return S_OK_HRESULT;
}

HResult SimWindows::prop_variant_to_uint32(PropVariantRaw value, std::uint32_t& out) {
  const std::lock_guard lock(mutex_);
  if (const auto fault = enter("PropVariantToUInt32")) return static_cast<HResult>(fault->code);
  const auto found = prop_variants_.find(reinterpret_cast<std::uintptr_t>(value));
  if (found == prop_variants_.end() || !found->second) return TYPE_MISMATCH_HRESULT;
  out = *found->second;
  return S_OK_HRESULT;
}

void SimWindows::prop_variant_clear(PropVariantRaw value) {
  const std::lock_guard lock(mutex_);
  enter("PropVariantClear");
  if (prop_variants_.erase(reinterpret_cast<std::uintptr_t>(value)) == 0) ++released_twice_;
}

void SimWindows::release(ComRaw object) {
  const std::lock_guard lock(mutex_);
  enter("IUnknown::Release");
  if (com_objects_.erase(reinterpret_cast<std::uintptr_t>(object)) == 0) ++released_twice_;
}

}  // namespace orvane::sim
