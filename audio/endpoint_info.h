// One enabled audio endpoint as the audio library reported it.
#pragma once

#include <cstdint>
#include <string>

namespace orvane {

enum class EndpointDirection : std::uint8_t { Capture = 0, Render = 1 };

struct EndpointInfo {
  std::string id;    // never empty; with WASAPI the Windows endpoint id string
  std::string name;  // empty when the library gives none
  std::uint32_t default_rate = 0;
  std::uint16_t channels = 0;
  EndpointDirection direction = EndpointDirection::Capture;
  bool is_default = false;
  friend bool operator==(const EndpointInfo&, const EndpointInfo&) = default;
};

}  // namespace orvane
