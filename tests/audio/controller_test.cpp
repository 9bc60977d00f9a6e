#include "audio/controller.h"

#include <gtest/gtest.h>

#include <chrono>
#include <latch>
#include <stdexcept>
#include <thread>

#include "tests/fake_cubeb/fake_cubeb.h"
#include "tests/sim/sim_windows.h"

namespace orvane {
namespace {

using namespace std::chrono_literals;
using fake_cubeb::FakeDevice;

const std::string CLOSED = "audio controller closed";
const std::string EXITED = "audio controller exited during operation";

/// Records the diagnostics reports and the destruction of table objects, from the audio thread.
struct Journal {
  void note(std::string entry) {
    const std::lock_guard lock(mutex);
    entries.push_back(std::move(entry));
    times.push_back(std::chrono::steady_clock::now());
  }
  std::vector<std::string> read() {
    const std::lock_guard lock(mutex);
    return entries;
  }
  std::chrono::steady_clock::time_point time_of(std::size_t entry) {
    const std::lock_guard lock(mutex);
    return times.at(entry);
  }
  /// Waits for `count` entries; false when they have not come within 10 s.
  bool wait_for(std::size_t count) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (read().size() < count) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(10ms);
    }
    return true;
  }
  std::mutex mutex;
  std::vector<std::string> entries;
  std::vector<std::chrono::steady_clock::time_point> times;
};

class JournalObject final : public AudioThreadObject {
 public:
  JournalObject(Journal& journal, std::string name) : journal_(journal), name_(std::move(name)) {}
  ~JournalObject() override {
    journal_.note(name_ + " destroyed, contexts " + std::to_string(fake_cubeb::counts().live_contexts));
  }
  void report_diagnostics() override { journal_.note(name_); }

 private:
  Journal& journal_;
  std::string name_;
};

/// A job that fails abnormally, holding a reply sender as an enumeration job does.
struct ThrowingJob {
  std::promise<EndpointListResult> reply;
  void operator()(AudioThreadState&) { throw std::runtime_error("job failed"); }
};

void wait_until_closed(AudioController& controller) {
  while (!controller.closed()) std::this_thread::sleep_for(1ms);
}

class Controller : public ::testing::Test {
 protected:
  void SetUp() override { fake_cubeb::reset(); }
  void TearDown() override {
    EXPECT_EQ(fake_cubeb::counts().misuses, 0);
    EXPECT_EQ(fake_cubeb::counts().live_collections, 0);
  }

  std::shared_ptr<AudioController> controller(AudioControllerRegistry& registry) {
    auto found = registry.shared_audio_controller();
    EXPECT_TRUE(found) << found.error();
    return found ? *found : nullptr;
  }

  sim::SimWindows windows;
};

TEST_F(Controller, RacingFirstLookupsStartOneThreadAndShareItsController) {
  AudioControllerRegistry registry(windows, windows);
  std::latch start(2);
  std::shared_ptr<AudioController> seen[2];
  auto look_up = [&](int slot) {
    start.arrive_and_wait();
    seen[slot] = controller(registry);
  };
  std::thread first(look_up, 0);
  std::thread second(look_up, 1);
  first.join();
  second.join();

  ASSERT_NE(seen[0], nullptr);
  EXPECT_EQ(seen[0], seen[1]);
  EXPECT_EQ(windows.calls("SetThreadDescription"), 1u);
  EXPECT_EQ(windows.calls("CoInitializeEx"), 1u);
  EXPECT_EQ(fake_cubeb::counts().init_calls, 1);
  EXPECT_EQ(seen[0]->backend(), "fake");
}

TEST_F(Controller, ThreadIsNamedJoinsComAndMakesEveryLibraryCall) {
  AudioControllerRegistry registry(windows, windows);
  ASSERT_TRUE(list_audio_endpoints(registry));

  ASSERT_EQ(windows.thread_descriptions.size(), 1u);
  const auto [audio_thread, description] = *windows.thread_descriptions.begin();
  EXPECT_EQ(description, u"orvane-audio-control");
  EXPECT_NE(audio_thread, std::this_thread::get_id());
  EXPECT_EQ(windows.com_threads(), std::vector{audio_thread});
  EXPECT_EQ(fake_cubeb::calling_threads(), std::set{audio_thread});
  EXPECT_EQ(windows.stderr_bytes, "ORVANE_AUDIO backend=fake binding=0.38.0\n");
}

TEST_F(Controller, FailedComStartLeavesTheRegistryEmptyAndTheNextLookupStartsAfresh) {
  windows.fail({"CoInitializeEx", 1, 0x8007000e});
  AudioControllerRegistry registry(windows, windows);

  EXPECT_EQ(registry.shared_audio_controller(),
            std::unexpected(std::string("COM MTA initialization failed: 0x8007000e")));
  EXPECT_EQ(windows.calls("CoUninitialize"), 0u);  // COM was never joined
  EXPECT_EQ(fake_cubeb::counts().init_calls, 0);
  EXPECT_EQ(windows.stderr_bytes, "");

  const auto second = controller(registry);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(windows.calls("SetThreadDescription"), 2u);
  EXPECT_EQ(windows.calls("GetEnvironmentVariableW"), 2u);  // read once per start
  EXPECT_EQ(second->enumerate_endpoints(EndpointDirection::Render), std::vector<EndpointInfo>{});
}

TEST_F(Controller, FailedContextLeavesComBalancedAndPassesTheMessageOn) {
  fake_cubeb::set_init_result(CUBEB_ERROR_NOT_SUPPORTED);
  AudioControllerRegistry registry(windows, windows);
  EXPECT_EQ(list_audio_endpoints(registry), std::unexpected(std::string("cubeb context: NotSupported")));
  // The failed thread was joined, so it has already left COM.
  EXPECT_EQ(windows.calls("CoUninitialize"), 1u);
  EXPECT_TRUE(windows.com_balanced());

  fake_cubeb::set_init_result(CUBEB_OK);
  EXPECT_TRUE(list_audio_endpoints(registry));
  EXPECT_EQ(fake_cubeb::counts().init_calls, 2);
}

TEST_F(Controller, ListsCaptureThenRender) {
  fake_cubeb::set_devices(CUBEB_DEVICE_TYPE_OUTPUT, {FakeDevice("spk").with_preferred(CUBEB_DEVICE_PREF_MULTIMEDIA)});
  fake_cubeb::set_devices(CUBEB_DEVICE_TYPE_INPUT, {FakeDevice("mic1").with_channels(1), FakeDevice("mic2")});
  AudioControllerRegistry registry(windows, windows);
  EXPECT_EQ(list_audio_endpoints(registry),
            (std::vector<EndpointInfo>{{"mic1", "", 48000, 1, EndpointDirection::Capture, false},
                                       {"mic2", "", 48000, 2, EndpointDirection::Capture, false},
                                       {"spk", "", 48000, 2, EndpointDirection::Render, true}}));
  EXPECT_EQ(windows.calls("SetThreadDescription"), 1u);  // both requests went to one controller
}

TEST_F(Controller, RenderFailureAfterAGoodCaptureGivesOnlyTheRenderError) {
  fake_cubeb::set_devices(CUBEB_DEVICE_TYPE_INPUT, {FakeDevice("mic")});
  fake_cubeb::set_devices(CUBEB_DEVICE_TYPE_OUTPUT, {FakeDevice("spk").with_channels(65536)});
  AudioControllerRegistry registry(windows, windows);
  EXPECT_EQ(list_audio_endpoints(registry), std::unexpected(std::string("invalid channel count")));

  fake_cubeb::set_devices(CUBEB_DEVICE_TYPE_OUTPUT, {});
  fake_cubeb::set_enumerate_result(CUBEB_DEVICE_TYPE_OUTPUT, CUBEB_ERROR_NOT_SUPPORTED);
  EXPECT_EQ(list_audio_endpoints(registry), std::unexpected(std::string("cubeb enumerate: NotSupported")));
}

TEST_F(Controller, ConcurrentCallersAreServedOneAtATimeWithTheirOwnReplies) {
  fake_cubeb::set_devices(CUBEB_DEVICE_TYPE_INPUT, {FakeDevice("mic")});
  fake_cubeb::set_devices(CUBEB_DEVICE_TYPE_OUTPUT, {FakeDevice("spk")});
  AudioControllerRegistry registry(windows, windows);
  std::vector<std::thread> callers;
  for (int caller = 0; caller < 4; ++caller) {
    callers.emplace_back([&registry, caller] {
      const auto direction = caller % 2 == 0 ? EndpointDirection::Capture : EndpointDirection::Render;
      for (int request = 0; request < 50; ++request) {
        auto found = registry.shared_audio_controller();
        ASSERT_TRUE(found);
        const auto endpoints = (*found)->enumerate_endpoints(direction);
        ASSERT_TRUE(endpoints);
        ASSERT_EQ(endpoints->size(), 1u);
        EXPECT_EQ((*endpoints)[0].id, direction == EndpointDirection::Capture ? "mic" : "spk");
      }
    });
  }
  for (auto& caller : callers) caller.join();
  EXPECT_EQ(fake_cubeb::counts().enumerate_calls, 200);
  EXPECT_EQ(fake_cubeb::calling_threads().size(), 1u);
}

TEST_F(Controller, JobThatThrowsEndsTheThreadAfterCleanUpAndLaterRequestsAreClosed) {
  Journal journal;
  AudioControllerRegistry registry(windows, windows);
  const auto audio = controller(registry);
  ASSERT_NE(audio, nullptr);
  ASSERT_TRUE(audio->run([&journal](AudioThreadState& state) {
    state.objects.emplace(1, std::make_unique<JournalObject>(journal, "object"));
  }));

  ThrowingJob job;
  auto reply = job.reply.get_future();
  ASSERT_TRUE(audio->run(std::move(job)));
  EXPECT_EQ(receive_endpoint_reply(reply), std::unexpected(EXITED));
  wait_until_closed(*audio);

  // Objects went before the context; the context and COM are gone too.
  EXPECT_EQ(journal.read(), std::vector<std::string>{"object destroyed, contexts 1"});
  EXPECT_EQ(fake_cubeb::counts().live_contexts, 0);
  EXPECT_TRUE(windows.com_balanced());

  EXPECT_EQ(audio->enumerate_endpoints(EndpointDirection::Capture), std::unexpected(CLOSED));
  EXPECT_EQ(list_audio_endpoints(registry), std::unexpected(CLOSED));
  EXPECT_EQ(list_audio_endpoints(registry), std::unexpected(CLOSED));
  EXPECT_EQ(windows.calls("SetThreadDescription"), 1u);  // no second controller
  EXPECT_EQ(fake_cubeb::counts().init_calls, 1);
}

TEST_F(Controller, JobDestroyedUnrunGivesExitedDuringOperation) {
  AudioControllerRegistry registry(windows, windows);
  const auto audio = controller(registry);
  ASSERT_NE(audio, nullptr);

  std::promise<void> release;
  ASSERT_TRUE(audio->run([blocked = release.get_future()](AudioThreadState&) mutable {
    blocked.wait();
    throw std::runtime_error("job failed");
  }));
  EnumerateEndpoints queued{{}, EndpointDirection::Render};
  auto reply = queued.reply.get_future();
  ASSERT_TRUE(audio->run(std::move(queued)));  // behind the blocked job, so never run
  release.set_value();

  EXPECT_EQ(receive_endpoint_reply(reply), std::unexpected(EXITED));
  EXPECT_EQ(fake_cubeb::counts().enumerate_calls, 0);
}

TEST_F(Controller, ReleasingTheLastReferenceStopsTheThreadAndLeavesComBalanced) {
  Journal journal;
  std::shared_ptr<AudioController> kept;
  {
    AudioControllerRegistry registry(windows, windows);
    kept = controller(registry);
    ASSERT_NE(kept, nullptr);
    ASSERT_TRUE(kept->run([&journal](AudioThreadState& state) {
      state.objects.emplace(1, std::make_unique<JournalObject>(journal, "object"));
    }));
  }
  // The registry is gone, but this reference keeps the thread serving.
  EXPECT_EQ(kept->enumerate_endpoints(EndpointDirection::Capture), std::vector<EndpointInfo>{});
  EXPECT_EQ(fake_cubeb::counts().live_contexts, 1);

  kept.reset();
  EXPECT_EQ(journal.read(), std::vector<std::string>{"object destroyed, contexts 1"});
  EXPECT_EQ(fake_cubeb::counts().live_contexts, 0);
  EXPECT_EQ(windows.calls("CoUninitialize"), 1u);
  EXPECT_TRUE(windows.com_balanced());
}

/// Delegates to the simulation but throws where the start reads the environment.
class ThrowingEnvironment final : public Process {
 public:
  explicit ThrowingEnvironment(Process& inner) : inner_(inner) {}
  std::u16string command_line() override { return inner_.command_line(); }
  ModuleFileName module_file_name(std::span<char16_t> buffer) override { return inner_.module_file_name(buffer); }
  std::u16string system_error_text(std::uint32_t code) override { return inner_.system_error_text(code); }
  WinResult<std::u16string> full_path_name(const char16_t* path) override { return inner_.full_path_name(path); }
  WinResult<FileRaw> open_file_for_reading(const char16_t* path) override { return inner_.open_file_for_reading(path); }
  WinResult<std::uint64_t> file_size(FileRaw file) override { return inner_.file_size(file); }
  WinResult<std::size_t> read_file(FileRaw file, std::span<std::byte> buffer) override {
    return inner_.read_file(file, buffer);
  }
  void close_file(FileRaw file) override { inner_.close_file(file); }
  void write_standard_error(std::string_view utf8) override { inner_.write_standard_error(utf8); }
  bool environment_variable_present(const char16_t*) override { throw std::bad_alloc(); }
  void set_current_thread_description(const char16_t* text) override { inner_.set_current_thread_description(text); }

 private:
  Process& inner_;
};

TEST_F(Controller, ExceptionDuringALookupPoisonsTheRegistryForGood) {
  ThrowingEnvironment process(windows);
  AudioControllerRegistry registry(process, windows);
  EXPECT_THROW(static_cast<void>(registry.shared_audio_controller()), std::bad_alloc);
  for (int attempt = 0; attempt < 2; ++attempt) {
    EXPECT_EQ(list_audio_endpoints(registry), std::unexpected(std::string("audio controller registry poisoned")));
  }
  EXPECT_EQ(windows.calls("SetThreadDescription"), 0u);
}

/// With diagnostics on, the table is reported about once a second, in key order.
class Diagnostics : public Controller, public ::testing::WithParamInterface<bool> {};

TEST_P(Diagnostics, FollowPresenceOfTheVariable) {
  const bool present = GetParam();
  if (present) windows.environment.insert(u"ORVANE_AUDIO_DIAGNOSTICS");  // present, with no value
  Journal journal;
  AudioControllerRegistry registry(windows, windows);
  const auto audio = controller(registry);
  ASSERT_NE(audio, nullptr);
  ASSERT_TRUE(audio->run([&journal](AudioThreadState& state) {
    state.objects.emplace(9, std::make_unique<JournalObject>(journal, "nine"));
    state.objects.emplace(2, std::make_unique<JournalObject>(journal, "two"));
  }));

  if (present) {
    // Two passes, in key order, at least a second apart.
    ASSERT_TRUE(journal.wait_for(4)) << journal.read().size() << " reports";
    EXPECT_EQ(journal.read(), (std::vector<std::string>{"two", "nine", "two", "nine"}));
    EXPECT_GE(journal.time_of(2) - journal.time_of(0), 1s);
  } else {
    std::this_thread::sleep_for(1300ms);  // past the first second, over several idle wake-ups
    ASSERT_TRUE(audio->enumerate_endpoints(EndpointDirection::Capture));
    EXPECT_EQ(journal.read(), std::vector<std::string>{});
  }
}

INSTANTIATE_TEST_SUITE_P(Environment, Diagnostics, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& tested) { return tested.param ? "Present" : "Absent"; });

}  // namespace
}  // namespace orvane
