#include "audio/backend.h"

#include <gtest/gtest.h>

#include <climits>

#include "tests/fake_cubeb/fake_cubeb.h"
#include "tests/sim/sim_windows.h"

namespace orvane {
namespace {

using fake_cubeb::FakeDevice;

const std::string FFFD = "\xef\xbf\xbd";

cubeb_device_info device_info(const char* id, const char* name, std::uint32_t channels = 2) {
  cubeb_device_info info{};
  info.device_id = id;
  info.friendly_name = name;
  info.state = CUBEB_DEVICE_STATE_ENABLED;
  info.max_channels = channels;
  info.default_rate = 44100;
  return info;
}

TEST(EndpointFromDeviceInfo, BuildsRecordsAndChecksIdentifierBeforeChannels) {
  struct Case {
    const char* label;
    cubeb_device_info info;
    std::expected<EndpointInfo, std::string> expected;
  };
  auto with_pref = [](cubeb_device_info info, unsigned pref) {
    info.preferred = static_cast<cubeb_device_pref>(pref);
    return info;
  };
  auto with_type = [](cubeb_device_info info, cubeb_device_type type) {
    info.type = type;
    return info;
  };
  const auto none = std::unexpected(std::string("device has no stable identifier"));
  const auto channels = std::unexpected(std::string("invalid channel count"));
  const Case cases[] = {
      {"plain", device_info("id", "Speakers"), EndpointInfo{"id", "Speakers", 44100, 2, EndpointDirection::Render, false}},
      {"multimedia default", with_pref(device_info("id", "n"), CUBEB_DEVICE_PREF_MULTIMEDIA),
       EndpointInfo{"id", "n", 44100, 2, EndpointDirection::Render, true}},
      {"all roles", with_pref(device_info("id", "n"), CUBEB_DEVICE_PREF_ALL),
       EndpointInfo{"id", "n", 44100, 2, EndpointDirection::Render, true}},
      {"voice only", with_pref(device_info("id", "n"), CUBEB_DEVICE_PREF_VOICE | CUBEB_DEVICE_PREF_NOTIFICATION),
       EndpointInfo{"id", "n", 44100, 2, EndpointDirection::Render, false}},
      {"own type ignored", with_type(device_info("id", "n"), CUBEB_DEVICE_TYPE_INPUT),
       EndpointInfo{"id", "n", 44100, 2, EndpointDirection::Render, false}},
      {"no name", device_info("id", nullptr), EndpointInfo{"id", "", 44100, 2, EndpointDirection::Render, false}},
      {"invalid UTF-8", device_info("a\xff" "b", "\xc3(x"),
       EndpointInfo{"a" + FFFD + "b", FFFD + "(x", 44100, 2, EndpointDirection::Render, false}},
      {"id of one invalid byte", device_info("\x80", "n"),
       EndpointInfo{FFFD, "n", 44100, 2, EndpointDirection::Render, false}},
      {"65535 channels", device_info("id", "n", 65535), EndpointInfo{"id", "n", 44100, 65535, EndpointDirection::Render, false}},
      {"65536 channels", device_info("id", "n", 65536), channels},
      {"UINT32_MAX channels", device_info("id", "n", UINT32_MAX), channels},
      {"null id", device_info(nullptr, "n"), none},
      {"empty id", device_info("", "n"), none},
      {"null id and too many channels", device_info(nullptr, "n", 65536), none},
      {"empty id and too many channels", device_info("", "n", 65536), none},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(endpoint_from_device_info(c.info, EndpointDirection::Render), c.expected) << c.label;
  }
  const auto capture = endpoint_from_device_info(device_info("id", "n"), EndpointDirection::Capture);
  ASSERT_TRUE(capture);
  EXPECT_EQ(capture->direction, EndpointDirection::Capture);
}

TEST(AudioErrorName, NamesEveryCodeAndCallsTheRestError) {
  const std::pair<int, std::string_view> cases[] = {
      {CUBEB_ERROR, "Error"},
      {CUBEB_ERROR_INVALID_FORMAT, "InvalidFormat"},
      {CUBEB_ERROR_INVALID_PARAMETER, "InvalidParameter"},
      {CUBEB_ERROR_NOT_SUPPORTED, "NotSupported"},
      {CUBEB_ERROR_DEVICE_UNAVAILABLE, "DeviceUnavailable"},
      {-6, "Error"},
      {1, "Error"},
      {INT_MIN, "Error"},
      {INT_MAX, "Error"},
  };
  for (const auto& [code, name] : cases) EXPECT_EQ(audio_error_name(code), name) << code;
}

class Backend : public ::testing::Test {
 protected:
  void SetUp() override { fake_cubeb::reset(); }
  void TearDown() override {
    EXPECT_EQ(fake_cubeb::counts().live_collections, 0);
    EXPECT_EQ(fake_cubeb::counts().misuses, 0);
  }

  CubebContext context() {
    auto created = create_backend_context(windows);
    EXPECT_TRUE(created) << created.error();
    return created ? std::move(created->context) : CubebContext();
  }

  sim::SimWindows windows;
};

TEST_F(Backend, ContextWritesTheDiagnosticsLineEachTimeItIsCreated) {
  fake_cubeb::set_backend_name("winmm");
  {
    auto created = create_backend_context(windows);
    ASSERT_TRUE(created) << created.error();
    EXPECT_EQ(created->backend, "winmm");
    EXPECT_EQ(windows.stderr_bytes, "ORVANE_AUDIO backend=winmm binding=0.38.0\n");
    EXPECT_EQ(fake_cubeb::last_context_name(), "Orvane");
    EXPECT_EQ(fake_cubeb::last_backend_name(), "wasapi");
    EXPECT_EQ(fake_cubeb::counts().live_contexts, 1);
  }
  EXPECT_EQ(fake_cubeb::counts().live_contexts, 0);  // cubeb_destroy at scope exit

  windows.environment.insert(u"ORVANE_AUDIO_DIAGNOSTICS");  // does not govern the line
  fake_cubeb::set_backend_name("wasapi");
  ASSERT_TRUE(create_backend_context(windows));
  EXPECT_EQ(windows.stderr_bytes,
            "ORVANE_AUDIO backend=winmm binding=0.38.0\nORVANE_AUDIO backend=wasapi binding=0.38.0\n");
}

TEST_F(Backend, ContextFailureNamesTheErrorAndWritesNothing) {
  const std::pair<int, std::string> cases[] = {
      {CUBEB_ERROR, "cubeb context: Error"},
      {CUBEB_ERROR_NOT_SUPPORTED, "cubeb context: NotSupported"},
      {-42, "cubeb context: Error"},
  };
  for (const auto& [code, message] : cases) {
    fake_cubeb::set_init_result(code);
    EXPECT_EQ(create_backend_context(windows), std::unexpected(message));
  }
  EXPECT_EQ(windows.stderr_bytes, "");
  EXPECT_EQ(fake_cubeb::counts().live_contexts, 0);
}

TEST_F(Backend, ListsEnabledEndpointsOfTheAskedDirectionInOrder) {
  fake_cubeb::set_devices(CUBEB_DEVICE_TYPE_INPUT, {FakeDevice("mic").with_name("Mic").with_channels(1).with_rate(16000)});
  fake_cubeb::set_devices(CUBEB_DEVICE_TYPE_OUTPUT,
                          {FakeDevice("b").with_name("B").with_preferred(CUBEB_DEVICE_PREF_ALL),
                           FakeDevice(std::nullopt).with_state(CUBEB_DEVICE_STATE_DISABLED).with_channels(70000),
                           FakeDevice(std::nullopt).with_state(CUBEB_DEVICE_STATE_UNPLUGGED),
                           FakeDevice("").with_state(CUBEB_DEVICE_STATE_DISABLED),
                           FakeDevice("a").with_channels(6).with_rate(44100).with_type(CUBEB_DEVICE_TYPE_INPUT)});
  const CubebContext cubeb = context();

  EXPECT_EQ(enumerate_context_endpoints(cubeb, EndpointDirection::Render),
            (std::vector<EndpointInfo>{{"b", "B", 48000, 2, EndpointDirection::Render, true},
                                       {"a", "", 44100, 6, EndpointDirection::Render, false}}));
  EXPECT_EQ(enumerate_context_endpoints(cubeb, EndpointDirection::Capture),
            (std::vector<EndpointInfo>{{"mic", "Mic", 16000, 1, EndpointDirection::Capture, false}}));
}

TEST_F(Backend, EmptyDirectionIsAnEmptyList) {
  const CubebContext cubeb = context();
  EXPECT_EQ(enumerate_context_endpoints(cubeb, EndpointDirection::Capture), std::vector<EndpointInfo>{});
  EXPECT_EQ(fake_cubeb::counts().enumerate_calls, 1);
}

TEST_F(Backend, OneBadEnabledEndpointFailsTheDirectionAndTheCollectionIsStillReleased) {
  const std::pair<FakeDevice, std::string> cases[] = {
      {FakeDevice(std::nullopt), "device has no stable identifier"},
      {FakeDevice(""), "device has no stable identifier"},
      {FakeDevice("x").with_channels(65536), "invalid channel count"},
  };
  const CubebContext cubeb = context();
  for (const auto& [bad, message] : cases) {
    fake_cubeb::set_devices(CUBEB_DEVICE_TYPE_OUTPUT, {FakeDevice("good"), bad, FakeDevice("later")});
    EXPECT_EQ(enumerate_context_endpoints(cubeb, EndpointDirection::Render), std::unexpected(message));
    EXPECT_EQ(fake_cubeb::counts().live_collections, 0);
  }
}

TEST_F(Backend, EnumerationFailureNamesTheError) {
  const CubebContext cubeb = context();
  fake_cubeb::set_enumerate_result(CUBEB_DEVICE_TYPE_INPUT, CUBEB_ERROR_DEVICE_UNAVAILABLE);
  EXPECT_EQ(enumerate_context_endpoints(cubeb, EndpointDirection::Capture),
            std::unexpected(std::string("cubeb enumerate: DeviceUnavailable")));
  fake_cubeb::set_enumerate_result(CUBEB_DEVICE_TYPE_INPUT, CUBEB_ERROR);
  EXPECT_EQ(enumerate_context_endpoints(cubeb, EndpointDirection::Capture),
            std::unexpected(std::string("cubeb enumerate: Error")));
  // The context survives: the other direction still works.
  EXPECT_EQ(enumerate_context_endpoints(cubeb, EndpointDirection::Render), std::vector<EndpointInfo>{});
}

}  // namespace
}  // namespace orvane
