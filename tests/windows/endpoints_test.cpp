// The audio controller with the real MinGW libcubeb under Wine, against a private PulseAudio
// server (one stereo 48 kHz sink, one stereo 48 kHz source): WASAPI endpoints with Windows
// endpoint ids, and the endpoint property store through the COM adapter.
#include <gtest/gtest.h>

#include <regex>

#include "audio/controller.h"
#include "platform/text.h"
#include "windows/windows_endpoint_properties.h"
#include "windows/windows_process.h"

namespace orvane {
namespace {

constexpr char GUID_PATTERN[] = "\\{[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}\\}";

class RealEndpoints : public testing::Test {
 protected:
  windows::WindowsProcess process_;
  windows::WindowsEndpointProperties com_;
  AudioControllerRegistry& registry_ = process_audio_controller_registry(process_, com_);
};

TEST_F(RealEndpoints, WasapiListsCaptureThenRenderWithWindowsEndpointIds) {
  const auto controller = registry_.shared_audio_controller();
  ASSERT_TRUE(controller.has_value()) << controller.error();
  EXPECT_EQ((*controller)->backend(), "wasapi");

  const auto endpoints = list_audio_endpoints(registry_);
  ASSERT_TRUE(endpoints.has_value()) << endpoints.error();
  const std::regex render_id(std::string("\\{0\\.0\\.0\\.00000000\\}\\.") + GUID_PATTERN);
  const std::regex capture_id(std::string("\\{0\\.0\\.1\\.00000000\\}\\.") + GUID_PATTERN);
  bool render_seen = false;
  bool speakers_seen = false;
  bool microphone_seen = false;
  for (const EndpointInfo& endpoint : *endpoints) {
    const bool render = endpoint.direction == EndpointDirection::Render;
    EXPECT_TRUE(std::regex_match(endpoint.id, render ? render_id : capture_id)) << endpoint.id;
    // Capture endpoints come first.
    if (render) render_seen = true;
    EXPECT_TRUE(render || !render_seen) << "capture endpoint after a render endpoint: " << endpoint.id;
    if (endpoint.name.find("Orvane-Speakers-48k") != std::string::npos && render) {
      speakers_seen = true;
      EXPECT_EQ(endpoint.channels, 2u);
      EXPECT_EQ(endpoint.default_rate, 48000u);
    }
    if (endpoint.name.find("Orvane-Microphone-48k") != std::string::npos && !render) {
      microphone_seen = true;
      EXPECT_EQ(endpoint.channels, 2u);
      EXPECT_EQ(endpoint.default_rate, 48000u);
    }
  }
  EXPECT_TRUE(speakers_seen);
  EXPECT_TRUE(microphone_seen);
}

TEST_F(RealEndpoints, TheRenderEndpointsFormFactorReadsThroughTheComAdapter) {
  const auto endpoints = list_audio_endpoints(registry_);
  ASSERT_TRUE(endpoints.has_value()) << endpoints.error();
  const auto render = std::find_if(endpoints->begin(), endpoints->end(),
                                   [](const EndpointInfo& e) { return e.direction == EndpointDirection::Render; });
  ASSERT_NE(render, endpoints->end());

  const ComApartment apartment(com_);
  ASSERT_TRUE(succeeded(apartment.result()));
  ComRaw enumerator = nullptr;
  ASSERT_TRUE(succeeded(com_.create_device_enumerator(enumerator)));
  const ComInterface owned_enumerator(com_, enumerator);
  ComRaw device = nullptr;
  ASSERT_TRUE(succeeded(com_.get_device(enumerator, with_nul(utf8_to_utf16(render->id)).c_str(), device)));
  const ComInterface owned_device(com_, device);
  ComRaw store = nullptr;
  ASSERT_TRUE(succeeded(com_.open_property_store(device, STGM_READ_MODE, store)));
  const ComInterface owned_store(com_, store);
  PropVariantRaw value = nullptr;
  ASSERT_TRUE(succeeded(com_.get_form_factor_value(store, value)));
  const PropVariantValue owned_value(com_, value);
  std::uint32_t form_factor = 0;
  ASSERT_TRUE(succeeded(com_.prop_variant_to_uint32(value, form_factor)));
  EXPECT_EQ(form_factor, FORM_FACTOR_SPEAKERS);  // Wine reports every render endpoint as speakers
}

}  // namespace
}  // namespace orvane
