// Stages of a run timed inside one process under Wine, with the Windows adapters the program
// uses, each next to the plainest Windows code for the same work.
#pragma once

#include <string>

#include "tests/bench/windows/wine_timing.h"

namespace orvane::bench {

/// verify_driver_package through WindowsProcess and CNG over `folder` ("package_check"), and
/// CreateFileW, one ReadFile of the known size and CNG's digest of each file ("package_baseline").
void time_package_check(const std::u16string& folder, const std::string& manifest, int rounds, Samples& samples);

/// A new audio controller's start-up with one capture and one render enumeration
/// ("audio_controller"; the first of the process, which loads the audio stack, on its own as
/// "audio_controller_first_in_process"), and libcubeb alone on a new thread in the COM multithreaded apartment
/// ("audio_cubeb_alone"). Returns libcubeb's backend name.
std::string time_audio_start(int rounds, Samples& samples);

}  // namespace orvane::bench
