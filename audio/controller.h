// The audio controller: one thread per process that owns the libcubeb context, joins the COM
// multithreaded apartment and runs requests one at a time in the order of their arrival. Callers
// reach it through a registry that starts it on first use and keeps it for the life of the process.
#pragma once

#include <cstdint>
#include <expected>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "audio/backend.h"
#include "audio/channel.h"
#include "audio/endpoint_info.h"
#include "platform/endpoint_properties.h"
#include "platform/process.h"

namespace orvane {

inline constexpr char16_t AUDIO_THREAD_NAME[] = u"orvane-audio-control";
inline constexpr char16_t AUDIO_DIAGNOSTICS_VARIABLE[] = u"ORVANE_AUDIO_DIAGNOSTICS";

/// The endpoints of one enumeration, or the message of its failure.
using EndpointListResult = std::expected<std::vector<EndpointInfo>, std::string>;

/// An object that lives on the controller thread, in its object table.
class AudioThreadObject {
 public:
  virtual ~AudioThreadObject() = default;
  /// Called about once a second while diagnostics are on.
  virtual void report_diagnostics() = 0;
};

/// What the controller thread owns from its start-up until it ends; every job is given it.
struct AudioThreadState {
  explicit AudioThreadState(CubebContext cubeb_context) : context(std::move(cubeb_context)) {}
  AudioThreadState(const AudioThreadState&) = delete;
  AudioThreadState& operator=(const AudioThreadState&) = delete;
  // The objects may still use the context, so they go first.
  ~AudioThreadState() { objects.clear(); }

  std::map<std::uint64_t, std::unique_ptr<AudioThreadObject>> objects;
  CubebContext context;
};

/// A one-shot job run once on the controller thread. It delivers its own reply; destroying it
/// unrun releases the reply sender that it holds.
using AudioRequest = std::move_only_function<void(AudioThreadState&)>;

/// A message on the request channel.
struct AudioCommand {
  struct Run {
    AudioRequest request;
  };
  struct Shutdown {};
  std::variant<Run, Shutdown> action;
};

/// The controller thread's one message on its start-up channel.
struct StartupReply {
  struct Serving {
    std::string backend;
  };
  struct StartFailed {
    std::string message;
  };
  std::variant<Serving, StartFailed> outcome;
};

/// What the controller thread is started with.
struct AudioThreadStart {
  std::promise<StartupReply> startup;
  ChannelReceiver<AudioCommand> requests;
  bool diagnostics = false;
};

/// The job of an endpoint enumeration request.
struct EnumerateEndpoints {
  std::promise<EndpointListResult> reply;
  EndpointDirection direction = EndpointDirection::Capture;

  void operator()(AudioThreadState& state);
};

/// Waits without a time limit for the reply of an `EnumerateEndpoints` job; "audio controller
/// exited during operation" when the job was destroyed without replying.
EndpointListResult receive_endpoint_reply(std::future<EndpointListResult>& reply);

/// A running controller thread, shared by reference counting. Releasing the last reference stops
/// the thread and waits for it.
class AudioController {
 public:
  AudioController(ChannelSender<AudioCommand> requests, std::string backend, std::jthread thread);
  AudioController(const AudioController&) = delete;
  AudioController& operator=(const AudioController&) = delete;
  ~AudioController();

  /// The endpoints of `direction`; "audio controller closed" once the thread has ended.
  EndpointListResult enumerate_endpoints(EndpointDirection direction);

  /// Queues a job; false, with the job destroyed, once the thread has ended.
  bool run(AudioRequest request);

  /// Whether the thread has ended: nothing sent from now on will run.
  [[nodiscard]] bool closed() const;

  /// The backend name that the thread reported when it became ready.
  [[nodiscard]] const std::string& backend() const { return backend_; }

 private:
  ChannelSender<AudioCommand> requests_;
  std::string backend_;
  std::mutex thread_mutex_;
  std::optional<std::jthread> thread_;
};

/// Starts a controller thread and waits for its start-up reply. Fails with the thread's
/// `StartFailed` message, "audio control thread exited" or "audio control thread: <system text>".
std::expected<std::shared_ptr<AudioController>, std::string> start_audio_controller(Process& process,
                                                                                    EndpointProperties& com);

/// The body of the controller thread: COM, context, `Serving`, the request loop, then clean-up of
/// the objects, the context and COM, in that order.
void run_audio_control_thread(Process& process, EndpointProperties& com, AudioThreadStart start);

/// Hands out the one controller, starting it on first use. A failed start leaves it empty; an
/// exception during a lookup poisons it for good.
class AudioControllerRegistry {
 public:
  AudioControllerRegistry(Process& process, EndpointProperties& com) : process_(process), com_(com) {}
  AudioControllerRegistry(const AudioControllerRegistry&) = delete;
  AudioControllerRegistry& operator=(const AudioControllerRegistry&) = delete;

  /// The controller, started now if there is none; its start failure, or
  /// "audio controller registry poisoned".
  std::expected<std::shared_ptr<AudioController>, std::string> shared_audio_controller();

 private:
  Process& process_;
  EndpointProperties& com_;
  std::mutex mutex_;
  bool poisoned_ = false;
  std::shared_ptr<AudioController> slot_;
};

/// The registry of the process, created on first use with the platform it was first given and
/// never destroyed: the process exits without stopping the controller thread.
AudioControllerRegistry& process_audio_controller_registry(Process& process, EndpointProperties& com);

/// The capture endpoints followed by the render endpoints, or the first failure's message.
EndpointListResult list_audio_endpoints(AudioControllerRegistry& registry);

}  // namespace orvane
