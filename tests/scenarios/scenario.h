// A whole run of the program against the simulated Windows: the executable at
// C:\Tools\orvane-driver-setup.exe, a small test package beside it, and stand-in endpoints.
#pragma once

#include <gtest/gtest.h>

#include <expected>
#include <string>
#include <vector>

#include "audio/endpoint_info.h"
#include "setup/run.h"
#include "tests/sim/sim_windows.h"

namespace orvane::test {

inline constexpr char16_t SCENARIO_PACKAGE_FOLDER[] = u"C:\\Tools\\drivers/vbcable";
inline constexpr char16_t SCENARIO_INF_PATH[] = u"C:\\Tools\\drivers/vbcable\\vbMmeCable64_win10.inf";
/// The class the scenario INF declares.
inline constexpr Guid SCENARIO_CLASS_GUID = sim::MEDIA_CLASS_GUID;
inline constexpr char16_t SCENARIO_CLASS_NAME[] = u"MEDIA";

/// The three files of the scenario package and their manifest.
struct ScenarioPackage {
  static std::vector<std::pair<std::string, std::string>> files();
  static std::string manifest();
};

/// What the caller of the program sees.
struct RunOutcome {
  std::uint32_t exit_status = 0;
  std::string standard_error;
};

class Scenario {
 public:
  Scenario();

  sim::SimWindows windows;
  /// What the stand-in audio controller returns; an error message instead when set.
  std::vector<EndpointInfo> endpoints;
  std::optional<std::string> endpoint_error;
  unsigned endpoint_requests = 0;

  /// Runs the whole sequence and maps its result as the entry point does.
  RunOutcome run();
  /// The run's result before it is mapped.
  SetupResult<RebootRequired> run_result();
};

/// The SHA-256 of `content` in lower-case hex, by libcrypto: independent of the code under test.
std::string sha256_hex(std::string_view content);

/// Names parameterised cases after their `name` field.
struct CaseName {
  template <typename Param>
  std::string operator()(const testing::TestParamInfo<Param>& param_info) const {
    return param_info.param.name;
  }
};

/// An endpoint record as the audio controller would give it.
EndpointInfo endpoint(std::string id, EndpointDirection direction, std::uint16_t channels = 2,
                      std::uint32_t rate = 48000);

}  // namespace orvane::test
