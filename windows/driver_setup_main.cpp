// orvane-driver-setup.exe: wires the Windows adapters to the run and ends the process with its
// exit status. Everything it does is in the run; this file only connects the pieces.
#include "audio/controller.h"
#include "setup/run.h"
#include "windows/system_library.h"
#include "windows/win32.h"
#include "windows/windows_config_manager.h"
#include "windows/windows_endpoint_properties.h"
#include "windows/windows_process.h"
#include "windows/windows_setup_api.h"

int main() {
  orvane::windows::WindowsProcess process;
  // First, before anything loads a DLL that is no KnownDLL: the program imports KnownDLLs only
  // and loads every other DLL on first use, and no static initializer calls into one.
  if (const auto restricted = orvane::windows::restrict_dll_search_to_system32(); !restricted) {
    ExitProcess(orvane::finish_run(
        process, std::unexpected(orvane::windows_step_error("restrict DLL search to System32", restricted.error()))));
  }
  orvane::windows::WindowsSetupApi setup;
  orvane::windows::WindowsConfigManager config;
  orvane::windows::WindowsEndpointProperties com;
  orvane::Platform platform{process, setup, config, com};

  auto& registry = orvane::process_audio_controller_registry(process, com);
  const auto result = orvane::run_driver_setup(platform, [&] { return orvane::list_audio_endpoints(registry); });
  // At once, without stopping the audio controller thread, which still waits for requests.
  ExitProcess(orvane::finish_run(process, result));
}
