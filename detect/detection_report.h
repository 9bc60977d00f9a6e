// What detection concludes about the two cable identities.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "audio/endpoint_info.h"

namespace orvane {

enum class CableStatusKind : std::uint8_t { NotInstalled, EndpointsMissing, RestartRequired, Problem, Ready };

/// The outcome for one identity; `message` is set for Problem only.
struct CableStatus {
  CableStatusKind kind = CableStatusKind::NotInstalled;
  std::string message;
  friend bool operator==(const CableStatus&, const CableStatus&) = default;
};

/// The pair is meaningful for Ready and the Hi-Fi Cable rate problem; otherwise both are empty.
struct CableVerdict {
  CableStatus status;
  std::string render_endpoint_id;
  std::string capture_endpoint_id;
  friend bool operator==(const CableVerdict&, const CableVerdict&) = default;
};

struct DetectionReport {
  CableVerdict vb_cable;
  CableVerdict hifi_cable;
  std::vector<EndpointInfo> endpoints;  // capture endpoints first, then render endpoints
};

}  // namespace orvane
