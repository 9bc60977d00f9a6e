// The whole program against the simulated Windows, with the real audio controller over the
// libcubeb test double: every Windows call the run makes fails in turn at each of its call sites,
// and each run must end as that failure says, with everything released.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <set>

#include "audio/controller.h"
#include "platform/text.h"
#include "tests/detect/cable_tree.h"
#include "tests/fake_cubeb/fake_cubeb.h"
#include "tests/scenarios/scenario.h"

namespace orvane::test {
namespace {

constexpr std::uint32_t ACCESS_DENIED = 5;
constexpr std::uint32_t CR_FAILURE = 0x13;
constexpr std::uint32_t E_FAIL = 0x80004005;
const std::string DIAGNOSTICS = "ORVANE_AUDIO backend=fake binding=0.38.0\n";

enum class Facility : std::uint8_t { File, Config, Com, Setup };

// Every call that can fail, by facility. Release calls and those without a failure result
// (GetCommandLineW, FormatMessageW, the environment, the thread description, standard error)
// are not faults the program can see.
const std::map<std::string, Facility> FALLIBLE{
    {"GetModuleFileNameW", Facility::File},
    {"GetFullPathNameW", Facility::File},
    {"CreateFileW", Facility::File},
    {"GetFileSizeEx", Facility::File},
    {"ReadFile", Facility::File},
    {"CM_Get_Device_ID_List_SizeW", Facility::Config},
    {"CM_Get_Device_ID_ListW", Facility::Config},
    {"CM_Locate_DevNodeW", Facility::Config},
    {"CM_Get_DevNode_Registry_PropertyW", Facility::Config},
    {"CM_Get_DevNode_Status", Facility::Config},
    {"CM_Get_Parent", Facility::Config},
    {"CoInitializeEx", Facility::Com},
    {"CoCreateInstance", Facility::Com},
    {"IMMDeviceEnumerator::GetDevice", Facility::Com},
    {"IMMDevice::OpenPropertyStore", Facility::Com},
    {"IPropertyStore::GetValue", Facility::Com},
    {"PropVariantToUInt32", Facility::Com},
    {"SetupDiGetINFClassW", Facility::Setup},
    {"SetupDiGetClassDevsW", Facility::Setup},
    {"SetupDiEnumDeviceInfo", Facility::Setup},
    {"SetupDiGetDeviceRegistryPropertyW", Facility::Setup},
    {"SetupDiCreateDeviceInfoList", Facility::Setup},
    {"SetupDiCreateDeviceInfoW", Facility::Setup},
    {"SetupDiSetDeviceRegistryPropertyW", Facility::Setup},
    {"SetupDiCallClassInstaller(DIF_REGISTERDEVICE)", Facility::Setup},
    {"SetupDiCallClassInstaller(DIF_REMOVE)", Facility::Setup},
    {"UpdateDriverForPlugAndPlayDevicesW", Facility::Setup},
};

std::uint32_t code_for(Facility facility) {
  switch (facility) {
    case Facility::Config:
      return CR_FAILURE;
    case Facility::Com:
      return E_FAIL;
    default:
      return ACCESS_DENIED;
  }
}

struct Expected {
  std::uint32_t exit_status = 0;
  std::string standard_error;
};

Expected failure(std::string message, bool after_detection_started = true) {
  return {1, (after_detection_started ? DIAGNOSTICS : "") + "ORVANE_DRIVER_SETUP " + message + "\n"};
}

struct SweepRun {
  Scenario scenario;
  RunOutcome outcome;
};

// A machine: what the simulated Windows holds and what the audio library lists.
using Machine = std::function<void(Scenario&)>;

// One whole run with a fresh audio controller; the controller is released before the run's
// resources are counted, so its thread has left COM.
std::unique_ptr<SweepRun> run_machine(const Machine& machine, const std::optional<sim::Fault>& fault) {
  auto run = std::make_unique<SweepRun>();
  Scenario& s = run->scenario;
  machine(s);
  fake_cubeb::reset();
  for (const auto direction : {EndpointDirection::Capture, EndpointDirection::Render}) {
    std::vector<fake_cubeb::FakeDevice> devices;
    for (const EndpointInfo& info : s.endpoints) {
      if (info.direction == direction) devices.push_back(fake_cubeb::FakeDevice(info.id).with_channels(info.channels));
    }
    fake_cubeb::set_devices(direction == EndpointDirection::Capture ? CUBEB_DEVICE_TYPE_INPUT : CUBEB_DEVICE_TYPE_OUTPUT,
                            std::move(devices));
  }
  if (fault) s.windows.fail(*fault);
  {
    auto registry = std::make_unique<AudioControllerRegistry>(s.windows, s.windows);
    Platform platform = s.windows.platform();
    const auto result = run_driver_setup(platform, [&] { return list_audio_endpoints(*registry); },
                                         ScenarioPackage::manifest());
    run->outcome = {finish_run(s.windows, result), s.windows.stderr_bytes};
  }
  return run;
}

std::string file_name_of(const std::u16string& path) {
  return utf16_to_utf8(path.substr(path.find_last_of(u"\\/") + 1));
}

// What a run must end with when `call` fails at `occurrence` on this machine.
using Expectation = std::function<Expected(const std::string& call, unsigned occurrence, const SweepRun& run)>;

struct SweepCount {
  unsigned call_sites = 0;
  std::set<std::string> calls;
};

SweepCount sweep(const Machine& machine, const Expected& clean_outcome, const Expectation& expect) {
  const auto clean = run_machine(machine, std::nullopt);
  EXPECT_EQ(clean->outcome.exit_status, clean_outcome.exit_status);
  EXPECT_EQ(clean->outcome.standard_error, clean_outcome.standard_error);

  SweepCount count;
  std::map<std::string, unsigned> seen;
  for (const std::string& call : clean->scenario.windows.call_log()) {
    const auto fallible = FALLIBLE.find(call);
    if (fallible == FALLIBLE.end()) continue;
    const unsigned occurrence = ++seen[call];
    SCOPED_TRACE(call + " #" + std::to_string(occurrence));
    const auto run = run_machine(machine, sim::Fault{call, occurrence, code_for(fallible->second)});
    const Expected expected = expect(call, occurrence, *run);
    EXPECT_EQ(run->outcome.exit_status, expected.exit_status);
    EXPECT_EQ(run->outcome.standard_error, expected.standard_error);
    sim::SimWindows& windows = run->scenario.windows;
    EXPECT_EQ(windows.leaks(), "");
    EXPECT_TRUE(windows.com_balanced());
    EXPECT_TRUE(windows.registered_devices_without_driver().empty());
    EXPECT_EQ(fake_cubeb::counts().live_contexts, 0);
    EXPECT_EQ(fake_cubeb::counts().live_collections, 0);
    ++count.call_sites;
    count.calls.insert(call);
  }
  return count;
}

// The package check's failures, the same on every machine.
std::optional<Expected> package_failure(const std::string& call, const SweepRun& run) {
  if (call == "GetModuleFileNameW") return failure("Access is denied. (os error 5)", false);
  if (call == "CreateFileW" || call == "GetFileSizeEx" || call == "ReadFile") {
    return failure("missing bundled driver file " + file_name_of(run.scenario.windows.opened_paths.back()), false);
  }
  return std::nullopt;
}

// No cable anywhere, an unrelated device in the tree and in the INF's class, endpoints of other
// devices: detection says NotInstalled and the installation creates the cable.
void fresh_machine(Scenario& s) {
  const DevInst other = add_cable(s.windows, {u"PCI\\VEN_8086&DEV_A170", u"VBAudioVACWDM_2"});
  s.endpoints = {add_cable_endpoint(s.windows, other, CAPTURE_ID, EndpointDirection::Capture),
                 add_cable_endpoint(s.windows, other, RENDER_ID, EndpointDirection::Render)};
}

TEST(WholeRunFaultSweep, FreshMachineInstallingTheCable) {
  const SweepCount count = sweep(fresh_machine, {0, DIAGNOSTICS}, [](const std::string& call, unsigned, const SweepRun& run) {
    if (auto package = package_failure(call, run)) return *package;
    if (call == "CM_Get_Device_ID_List_SizeW") return failure("Cannot enumerate Windows audio driver identities", false);
    // Only the audio thread joins COM on this machine: no cable endpoint is examined.
    if (call == "CoInitializeEx") return failure("COM MTA initialization failed: 0x80004005", false);
    static const std::map<std::string, std::string> steps{
        {"SetupDiGetINFClassW", "read signed INF"},
        {"SetupDiGetClassDevsW", "enumerate audio adapters"},
        {"SetupDiEnumDeviceInfo", "enumerate adapter"},
        {"SetupDiCreateDeviceInfoList", "create device list"},
        {"SetupDiCreateDeviceInfoW", "create cable device"},
        {"SetupDiSetDeviceRegistryPropertyW", "set cable hardware identity"},
        {"SetupDiCallClassInstaller(DIF_REGISTERDEVICE)", "register cable device"},
        {"UpdateDriverForPlugAndPlayDevicesW", "install signed cable"},
    };
    if (const auto step = steps.find(call); step != steps.end()) return failure(step->second + ": Windows error 5");
    // A retried device list, an unlocatable or unreadable unrelated device, or an unreadable
    // hardware-id list in the class: the run goes on and installs.
    return Expected{0, DIAGNOSTICS};
  });
  EXPECT_GE(count.call_sites, 25u);
  for (const char* call : {"CreateFileW", "ReadFile", "CM_Get_Device_ID_ListW", "CM_Locate_DevNodeW", "CoInitializeEx",
                           "SetupDiEnumDeviceInfo", "SetupDiGetDeviceRegistryPropertyW", "UpdateDriverForPlugAndPlayDevicesW"}) {
    EXPECT_TRUE(count.calls.contains(call)) << call;
  }
  std::printf("fresh machine: %u call sites of %zu calls swept\n", count.call_sites, count.calls.size());
}

// A driver update that fails makes the program remove the new device; its removal failing too
// still reports the update, and only then may a device stay without a driver.
TEST(WholeRunFaultSweep, FailedUpdateRemovesTheNewDevice) {
  const auto run = run_machine(fresh_machine, sim::Fault{"UpdateDriverForPlugAndPlayDevicesW", 1, 0xE0000247});
  EXPECT_EQ(run->outcome.standard_error, failure("install signed cable: Windows error 3758096967").standard_error);
  EXPECT_EQ(run->scenario.windows.calls("SetupDiCallClassInstaller(DIF_REMOVE)"), 1u);
  EXPECT_TRUE(run->scenario.windows.registered_devices_without_driver().empty());
  EXPECT_EQ(run->scenario.windows.leaks(), "");
}

// A working VB-CABLE with its two endpoints: detection says Ready and nothing is installed.
void ready_machine(Scenario& s) { add_ready_vb_cable(s); }

TEST(WholeRunFaultSweep, ReadyCable) {
  const SweepCount count = sweep(ready_machine, {0, DIAGNOSTICS}, [](const std::string& call, unsigned occurrence,
                                                                     const SweepRun& run) {
    if (auto package = package_failure(call, run)) return *package;
    if (call == "CM_Get_Device_ID_List_SizeW") return failure("Cannot enumerate Windows audio driver identities", false);
    // The cable is not collected: detection says NotInstalled and the installation finds the
    // present, healthy device of the INF's class, so nothing is created.
    if ((call == "CM_Locate_DevNodeW" || call == "CM_Get_DevNode_Registry_PropertyW") && occurrence == 1) {
      EXPECT_TRUE(run.scenario.windows.driver_updates.empty());
      EXPECT_EQ(run.scenario.windows.calls("SetupDiGetINFClassW"), 1u);
      return Expected{0, DIAGNOSTICS};
    }
    if (call == "CM_Get_DevNode_Status" && occurrence == 1) {
      return failure("Driver is not started; check Device Manager and restart Windows");
    }
    // COM: the audio thread joins first, then each VB-CABLE render check joins on the main thread.
    if (call == "CoInitializeEx" && occurrence == 1) return failure("COM MTA initialization failed: 0x80004005", false);
    // Locating the two endpoint devnodes while collecting only skips devices without ids.
    if (call == "CM_Locate_DevNodeW" && occurrence <= 3) return Expected{0, DIAGNOSTICS};
    // An endpoint whose ancestry or form factor cannot be read is not the cable's.
    const bool drops_endpoint = call == "CM_Locate_DevNodeW" || call == "CM_Get_Parent" || call == "CoInitializeEx" ||
                                call == "CoCreateInstance" || call == "IMMDeviceEnumerator::GetDevice" ||
                                call == "IMMDevice::OpenPropertyStore" || call == "IPropertyStore::GetValue" ||
                                call == "PropVariantToUInt32";
    if (drops_endpoint) return Expected{3010, DIAGNOSTICS};
    // The second status query is the restart test: a failure there counts as no restart pending.
    return Expected{0, DIAGNOSTICS};
  });
  EXPECT_GE(count.call_sites, 15u);
  std::printf("ready cable: %u call sites of %zu calls swept\n", count.call_sites, count.calls.size());
}

}  // namespace
}  // namespace orvane::test
