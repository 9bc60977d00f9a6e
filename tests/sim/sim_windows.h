// A simulated Windows for the host tests: one device tree behind SetupAPI, the configuration
// manager and the endpoint property store, an in-memory file system behind the process services,
// per-call fault injection, and counts of everything opened so that release is checked.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/platform.h"

namespace orvane::sim {

// Codes the simulation gives, as Windows does.
constexpr std::uint32_t ERROR_PATH_NOT_FOUND_CODE = 3;
constexpr std::uint32_t ERROR_INVALID_DATA_CODE = 13;
constexpr std::uint32_t ERROR_SHARING_VIOLATION_CODE = 32;
constexpr ConfigRet CR_INVALID_DEVNODE_CODE = 0x05;
constexpr ConfigRet CR_NO_SUCH_DEVNODE_CODE = 0x0D;
constexpr ConfigRet CR_BUFFER_SMALL_CODE = 0x1A;
constexpr ConfigRet CR_NO_SUCH_VALUE_CODE = 0x25;
constexpr HResult E_NOTFOUND_HRESULT = static_cast<HResult>(0x80070490);
constexpr HResult CO_E_NOTINITIALIZED_HRESULT = static_cast<HResult>(0x800401F0);
constexpr HResult TYPE_MISMATCH_HRESULT = static_cast<HResult>(0x80020005);
constexpr HResult S_FALSE_HRESULT = 1;

/// One devnode of the tree.
struct Device {
  std::u16string instance_id;
  std::vector<std::u16string> hardware_ids;
  /// When set, the exact units of the hardware-id property instead of `hardware_ids`.
  std::optional<std::u16string> raw_hardware_ids;
  bool has_hardware_ids = true;
  Guid class_guid{};
  bool present = true;
  std::uint32_t status = DN_STARTED_BIT;
  std::uint32_t problem = 0;
  std::optional<DevInst> parent;
  /// For audio endpoint devnodes: the endpoint id (the part after "SWD\MMDEVAPI\").
  std::optional<std::u16string> endpoint_id;
  /// The PKEY_AudioEndpoint_FormFactor value; none means the property is empty.
  std::optional<std::uint32_t> form_factor;
  /// Set by a driver update that matched the device.
  std::optional<std::u16string> installed_inf;
  /// Set for devices created and registered through SetupAPI.
  bool registered_by_setup_api = false;
};

/// GUID_DEVCLASS_MEDIA, the class of sound devices.
inline constexpr Guid MEDIA_CLASS_GUID{0x4d36e96c, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

/// A present root device of the media class, as a cable device installed earlier would be.
inline Device media_class_device(std::vector<std::u16string> hardware_ids, std::uint32_t status = DN_STARTED_BIT,
                                 std::uint32_t problem = 0) {
  Device device;
  device.instance_id = u"ROOT\\MEDIA\\EXISTING";
  device.hardware_ids = std::move(hardware_ids);
  device.class_guid = MEDIA_CLASS_GUID;
  device.status = status;
  device.problem = problem;
  return device;
}

/// Makes the `occurrence`-th call (1-based; 0 for every call) of `call` fail with `code`. For
/// COM calls the code is an HRESULT; `null_success` instead returns S_OK and a null pointer.
struct Fault {
  std::string call;
  unsigned occurrence = 0;
  std::uint32_t code = 0;
  bool null_success = false;
};

/// An update of a driver as it reached the simulation.
struct DriverUpdate {
  std::u16string hardware_id;
  std::u16string inf_path;
  std::uint32_t flags = 0;
  std::int32_t reboot_in = 0;
};

class SimWindows final : public Process, public SetupApi, public ConfigManager, public EndpointProperties {
 public:
  SimWindows();

  Platform platform() { return {*this, *this, *this, *this}; }

  // --- the device tree ---
  DevInst add_device(Device device);
  /// An audio endpoint devnode "SWD\MMDEVAPI\<id>" below `parent` (or at the root).
  DevInst add_endpoint(std::u16string_view endpoint_id, std::optional<DevInst> parent,
                       std::optional<std::uint32_t> form_factor = FORM_FACTOR_SPEAKERS);
  Device& device(DevInst devinst);
  std::vector<DevInst> devices_with_hardware_id(std::u16string_view hardware_id);
  /// When set, the device-ID list the configuration manager gives, exactly as stored.
  std::optional<std::u16string> device_id_list_override;

  // --- SetupAPI ---
  struct InfClassEntry {
    Guid guid;
    std::u16string name;
  };
  std::map<std::u16string, InfClassEntry> inf_classes;  // keyed by the INF path as passed
  std::int32_t update_sets_reboot = 0;                   // what the driver update writes back
  std::vector<DriverUpdate> driver_updates;
  std::vector<std::uint32_t> class_installer_calls;  // DIF codes in call order
  std::vector<std::uint32_t> get_class_devs_flags;
  std::vector<std::uint32_t> create_device_info_flags;
  std::vector<std::vector<std::byte>> hardware_id_properties_set;
  std::vector<DevInfoRaw> destroyed_lists;  // in destruction order

  // --- the process ---
  std::u16string command_line_text = u"\"C:\\Tools\\orvane-driver-setup.exe\"";
  std::u16string module_path = u"C:\\Tools\\orvane-driver-setup.exe";
  bool has_stderr = true;
  std::string stderr_bytes;
  std::set<std::u16string> environment;
  std::size_t read_chunk_limit = 1 << 20;  // the most bytes one ReadFile gives
  std::optional<std::uint64_t> file_size_override;  // what GetFileSizeEx reports for every file
  void add_file(std::u16string_view path, std::string_view content);
  void add_folder(std::u16string_view path);
  /// Another process holds the file open without sharing.
  void lock_file(std::u16string_view path);
  void remove_file(std::u16string_view path);
  std::vector<std::u16string> opened_paths;  // every path passed to CreateFileW, in order
  std::map<std::thread::id, std::u16string> thread_descriptions;

  // --- faults and counting ---
  void fail(Fault fault);
  unsigned calls(const std::string& call) const;
  /// Every call made, in order, by name.
  std::vector<std::string> call_log() const;
  /// Off for long benchmark runs, whose call log would otherwise grow without bound.
  bool record_call_log = true;
  int open_device_lists() const;
  int open_com_objects() const;
  int open_prop_variants() const;
  int open_files() const;
  int released_twice() const;
  /// Whether every thread left COM as often as it joined it.
  bool com_balanced() const;
  /// Threads that joined the COM apartment, in order.
  std::vector<std::thread::id> com_threads() const;
  /// Registered devices that no driver update reached.
  std::vector<std::u16string> registered_devices_without_driver() const;
  /// Resources still open or released twice, as text, empty when all is well.
  std::string leaks() const;

  // Process
  std::u16string command_line() override;
  ModuleFileName module_file_name(std::span<char16_t> buffer) override;
  std::u16string system_error_text(std::uint32_t code) override;
  WinResult<std::u16string> full_path_name(const char16_t* path) override;
  WinResult<FileRaw> open_file_for_reading(const char16_t* path) override;
  WinResult<std::uint64_t> file_size(FileRaw file) override;
  WinResult<std::size_t> read_file(FileRaw file, std::span<std::byte> buffer) override;
  void close_file(FileRaw file) override;
  void write_standard_error(std::string_view utf8) override;
  bool environment_variable_present(const char16_t* name) override;
  void set_current_thread_description(const char16_t* description) override;

  // SetupApi
  WinResult<void> get_inf_class(const char16_t* inf_path, Guid& class_guid,
                                std::span<char16_t, CLASS_NAME_UNITS> class_name) override;
  WinResult<DevInfoRaw> get_class_devs(const Guid& class_guid, std::uint32_t flags) override;
  WinResult<void> enum_device_info(DevInfoRaw list, std::uint32_t index, DeviceElement& element) override;
  WinResult<void> get_device_registry_property(DevInfoRaw list, const DeviceElement& element, std::uint32_t property,
                                               std::span<std::byte> buffer) override;
  WinResult<DevInfoRaw> create_device_info_list(const Guid& class_guid) override;
  WinResult<void> create_device_info(DevInfoRaw list, const char16_t* device_name, const Guid& class_guid,
                                     std::uint32_t flags, DeviceElement& element) override;
  WinResult<void> set_device_registry_property(DevInfoRaw list, const DeviceElement& element, std::uint32_t property,
                                               std::span<const std::byte> value) override;
  WinResult<void> call_class_installer(std::uint32_t function, DevInfoRaw list, const DeviceElement& element) override;
  WinResult<void> update_driver_for_plug_and_play_devices(const char16_t* hardware_id, const char16_t* inf_path,
                                                         std::uint32_t flags, std::int32_t& reboot) override;
  void destroy_device_info_list(DevInfoRaw list) override;

  // ConfigManager
  ConfigRet get_device_id_list_size(std::uint32_t& length, const char16_t* filter, std::uint32_t flags) override;
  ConfigRet get_device_id_list(const char16_t* filter, std::span<char16_t> buffer, std::uint32_t flags) override;
  ConfigRet locate_devnode(DevInst& devinst, const char16_t* device_id, std::uint32_t flags) override;
  ConfigRet get_devnode_registry_property(DevInst devinst, std::uint32_t property, std::span<std::byte> buffer,
                                          std::uint32_t flags) override;
  ConfigRet get_devnode_status(std::uint32_t& status, std::uint32_t& problem, DevInst devinst,
                               std::uint32_t flags) override;
  ConfigRet get_parent(DevInst& parent, DevInst devinst, std::uint32_t flags) override;

  // EndpointProperties
  HResult co_initialize_multithreaded() override;
  void co_uninitialize() override;
  HResult create_device_enumerator(ComRaw& enumerator) override;
  HResult get_device(ComRaw enumerator, const char16_t* endpoint_id, ComRaw& device) override;
  HResult open_property_store(ComRaw device, std::uint32_t access, ComRaw& store) override;
  HResult get_form_factor_value(ComRaw store, PropVariantRaw& value) override;
  HResult prop_variant_to_uint32(PropVariantRaw value, std::uint32_t& out) override;
  void prop_variant_clear(PropVariantRaw value) override;
  void release(ComRaw object) override;

 private:
  struct DeviceList {
    Guid class_guid;
    std::vector<DevInst> members;
  };
  struct ComObject {
    enum class Kind : std::uint8_t { Enumerator, Device, PropertyStore } kind;
    std::optional<DevInst> endpoint;  // for devices and stores
  };
  struct OpenFile {
    std::string content;
    std::size_t position = 0;
  };
  struct FileEntry {
    std::string content;
    bool folder = false;
    bool locked = false;
  };

  // The fault for this call, if one is armed for it; counts the call either way.
  std::optional<Fault> enter(const std::string& call);
  std::u16string hardware_id_units(const Device& device) const;
  std::optional<DevInst> find_instance(std::u16string_view instance_id);
  std::optional<DevInst> find_endpoint(std::u16string_view endpoint_id);
  void index_device(DevInst devinst, const Device& device);
  void reindex_if_stale();
  static std::u16string file_key(std::u16string_view path);
  ComRaw new_com_object(ComObject object);

  mutable std::mutex mutex_;
  std::map<DevInst, Device> devices_;
  // Candidates by folded instance id and by endpoint id, in devinst order, so that lookups in
  // large trees do not scan every device. Each candidate is checked against its device on use
  // and a miss falls back to the scan; `device()` marks them stale, since its caller may rename.
  std::unordered_map<std::u16string, std::vector<DevInst>> instance_index_;
  std::unordered_map<std::u16string, std::vector<DevInst>> endpoint_index_;
  bool index_stale_ = false;
  DevInst next_devinst_ = 1;
  std::map<std::string, unsigned> call_counts_;
  std::vector<std::string> call_log_;
  std::vector<Fault> faults_;
  std::map<DevInfoRaw, DeviceList> lists_;
  DevInfoRaw next_list_ = 0x1000;
  std::map<std::uintptr_t, ComObject> com_objects_;
  std::map<std::uintptr_t, std::optional<std::uint32_t>> prop_variants_;
  std::uintptr_t next_com_ = 0x10;
  std::map<std::u16string, FileEntry> files_;
  std::map<FileRaw, OpenFile> open_files_;
  FileRaw next_file_ = 0x100;
  std::map<std::thread::id, int> com_depth_;
  std::vector<std::thread::id> com_threads_;
  bool com_unbalanced_ = false;
  int released_twice_ = 0;
  std::map<std::u16string, unsigned> generated_ids_;
};

/// The bytes of a REG_MULTI_SZ holding `ids`.
std::u16string multi_string(const std::vector<std::u16string>& ids);

}  // namespace orvane::sim
