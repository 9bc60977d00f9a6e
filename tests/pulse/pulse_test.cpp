// The audio controller against the real libcubeb and a private PulseAudio server (started by the
// CTest fixture; see pulse-server.sh). Each test adds the null devices it needs and removes them.
#include <cubeb/cubeb.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "audio/controller.h"
#include "tests/pulse/null_devices.h"
#include "tests/sim/sim_windows.h"

namespace orvane {
namespace {

using test::NullDevices;
using test::pactl;

/// Sets an environment variable for the life of the object.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;
  ~ScopedVariable() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

bool before_render(const EndpointInfo& endpoint) { return endpoint.direction == EndpointDirection::Capture; }

std::vector<EndpointInfo> sorted_by_id(std::vector<EndpointInfo> endpoints) {
  std::ranges::sort(endpoints, {}, &EndpointInfo::id);
  return endpoints;
}

std::vector<EndpointInfo> of_direction(const std::vector<EndpointInfo>& endpoints, EndpointDirection direction) {
  std::vector<EndpointInfo> picked;
  std::ranges::copy_if(endpoints, std::back_inserter(picked),
                       [direction](const EndpointInfo& endpoint) { return endpoint.direction == direction; });
  return sorted_by_id(picked);
}

bool lists(const std::vector<EndpointInfo>& endpoints, const std::string& id) {
  return std::ranges::any_of(endpoints, [&id](const EndpointInfo& endpoint) { return endpoint.id == id; });
}

class PulseServer : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("PULSE_SERVER") == nullptr) {
      GTEST_SKIP() << "PULSE_SERVER is not set: run through ctest, whose fixture starts the server";
    }
    devices_.emplace();
    devices_->add_sink("orvane_stereo48", 2, 48000, "Stereo-48k");
    devices_->add_sink("orvane_surround44", 6, 44100, "Surround51-44k");
    devices_->add_source("orvane_mic16", 1, 16000, "Mic-Mono-16k");
    pactl("set-default-sink orvane_stereo48");
    pactl("set-default-source orvane_mic16");
  }

  std::optional<NullDevices> devices_;
  sim::SimWindows windows;
};

TEST_F(PulseServer, ControllerReportsThePulseBackend) {
  AudioControllerRegistry registry(windows, windows);
  const auto controller = registry.shared_audio_controller();
  ASSERT_TRUE(controller) << controller.error();
  EXPECT_EQ((*controller)->backend(), "pulse");
  EXPECT_EQ(windows.stderr_bytes, "ORVANE_AUDIO backend=pulse binding=0.38.0\n");
}

TEST_F(PulseServer, RecordsAreWhatTheServerWasToldCaptureFirst) {
  AudioControllerRegistry registry(windows, windows);
  const auto endpoints = list_audio_endpoints(registry);
  ASSERT_TRUE(endpoints) << endpoints.error();
  EXPECT_TRUE(std::ranges::is_partitioned(*endpoints, before_render));

  // Every sink is also a capture device, its monitor, with the sink's format.
  using enum EndpointDirection;
  EXPECT_EQ(of_direction(*endpoints, Capture),
            sorted_by_id({{"orvane_mic16", "Mic-Mono-16k", 16000, 1, Capture, true},
                          {"orvane_stereo48.monitor", "Monitor of Stereo-48k", 48000, 2, Capture, false},
                          {"orvane_surround44.monitor", "Monitor of Surround51-44k", 44100, 6, Capture, false}}));
  EXPECT_EQ(of_direction(*endpoints, Render),
            sorted_by_id({{"orvane_stereo48", "Stereo-48k", 48000, 2, Render, true},
                          {"orvane_surround44", "Surround51-44k", 44100, 6, Render, false}}));
}

TEST_F(PulseServer, AddedAndRemovedSinkIsSeenByTheNextRequest) {
  AudioControllerRegistry registry(windows, windows);
  ASSERT_TRUE(list_audio_endpoints(registry));

  const std::string added = devices_->add_sink("orvane_added", 3, 22050, "Added-3ch");
  const auto with_sink = list_audio_endpoints(registry);
  ASSERT_TRUE(with_sink) << with_sink.error();
  EXPECT_TRUE(lists(of_direction(*with_sink, EndpointDirection::Render), "orvane_added"));
  EXPECT_TRUE(lists(of_direction(*with_sink, EndpointDirection::Capture), "orvane_added.monitor"));

  devices_->remove(added);
  const auto without_sink = list_audio_endpoints(registry);
  ASSERT_TRUE(without_sink) << without_sink.error();
  EXPECT_FALSE(lists(*without_sink, "orvane_added"));
  EXPECT_FALSE(lists(*without_sink, "orvane_added.monitor"));
  EXPECT_EQ(without_sink->size(), 5u);
  EXPECT_EQ(windows.calls("SetThreadDescription"), 1u);  // one controller served all three
}

/// The outcome libcubeb itself gives for a capture enumeration in the current environment.
struct LibraryOutcome {
  std::string backend;  // empty when cubeb_init failed
  EndpointListResult capture;
};

LibraryOutcome ask_library_directly() {
  cubeb* context = nullptr;
  const int init = cubeb_init(&context, "Orvane probe", PREFERRED_AUDIO_BACKEND);
  if (init != CUBEB_OK) return {"", std::unexpected("cubeb context: " + std::string(audio_error_name(init)))};
  LibraryOutcome outcome{cubeb_get_backend_id(context), std::vector<EndpointInfo>{}};
  cubeb_device_collection collection{};
  const int listed = cubeb_enumerate_devices(context, CUBEB_DEVICE_TYPE_INPUT, &collection);
  if (listed != CUBEB_OK) {
    outcome.capture = std::unexpected("cubeb enumerate: " + std::string(audio_error_name(listed)));
  } else {
    cubeb_device_collection_destroy(context, &collection);
  }
  cubeb_destroy(context);
  return outcome;
}

TEST(PulseServerAbsent, LibraryFailureIsPassedOnUnchanged) {
  const ScopedVariable dead("PULSE_SERVER", "unix:" ORVANE_PULSE_SCRATCH "/no-server/native");
  const LibraryOutcome library = ask_library_directly();
  RecordProperty("backend_without_server", library.backend);
  ASSERT_NE(library.backend, "pulse");
  if (library.capture) GTEST_SKIP() << "libcubeb enumerates through " << library.backend << " without a server";

  sim::SimWindows windows;
  AudioControllerRegistry registry(windows, windows);
  EXPECT_EQ(list_audio_endpoints(registry), library.capture);
  if (!library.backend.empty()) {
    // Here (no server, no /dev/snd) libcubeb settles for "alsa", whose enumeration fails with -1.
    EXPECT_EQ(windows.stderr_bytes, "ORVANE_AUDIO backend=" + library.backend + " binding=0.38.0\n");
  }
}

/// A second private server, for a test that stops it.
class ScratchServer {
 public:
  ScratchServer()
      : server_("PULSE_SERVER", "unix:" ORVANE_PULSE_SCRATCH "/run/native"),
        runtime_("PULSE_RUNTIME_PATH", ORVANE_PULSE_SCRATCH "/run"),
        cookie_("PULSE_COOKIE", ORVANE_PULSE_SCRATCH "/cookie") {
    if (std::system(ORVANE_PULSE_SERVER_SCRIPT " start " ORVANE_PULSE_SCRATCH) != 0) {
      throw std::runtime_error("the scratch PulseAudio server did not start");
    }
  }
  ScratchServer(const ScratchServer&) = delete;
  ScratchServer& operator=(const ScratchServer&) = delete;
  ~ScratchServer() { stop(); }

  void stop() { static_cast<void>(std::system(ORVANE_PULSE_SERVER_SCRIPT " stop " ORVANE_PULSE_SCRATCH)); }

 private:
  ScopedVariable server_;
  ScopedVariable runtime_;
  ScopedVariable cookie_;
};

TEST(PulseServerStopped, RequestsStillGetTheLibrarysAnswer) {
  ScratchServer server;
  sim::SimWindows windows;
  AudioControllerRegistry registry(windows, windows);
  {
    NullDevices devices;
    devices.add_sink("orvane_doomed", 2, 48000, "Doomed");
    const auto before = list_audio_endpoints(registry);
    ASSERT_TRUE(before) << before.error();
    EXPECT_TRUE(lists(*before, "orvane_doomed"));
    server.stop();
  }
  // libcubeb's pulse backend reports a lost server as a machine without devices, not as an error.
  EXPECT_EQ(list_audio_endpoints(registry), std::vector<EndpointInfo>{});
}

}  // namespace
}  // namespace orvane
