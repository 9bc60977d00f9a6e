#include "audio/controller.h"

#include <chrono>
#include <system_error>
#include <utility>

#include "platform/text.h"

namespace orvane {
namespace {

using std::chrono::steady_clock;

constexpr std::chrono::milliseconds REQUEST_WAIT{250};
constexpr std::chrono::seconds DIAGNOSTICS_INTERVAL{1};

std::unexpected<std::string> failure(std::string message) { return std::unexpected(std::move(message)); }

/// Takes the next command and runs it; false when the loop is to end (Shutdown, or the channel
/// closed). The job is freed before this returns.
bool serve_one_request(ChannelReceiver<AudioCommand>& requests, AudioThreadState& state) {
  auto command = requests.receive_for(REQUEST_WAIT);
  if (!command) return command.error() == ReceiveFailure::TimedOut;
  auto* run = std::get_if<AudioCommand::Run>(&command->action);
  if (run == nullptr) return false;
  if (run->request) run->request(state);
  return true;
}

void report_when_due(AudioThreadState& state, steady_clock::time_point& last_report) {
  if (steady_clock::now() - last_report < DIAGNOSTICS_INTERVAL) return;
  for (auto& [key, object] : state.objects) {
    if (object) object->report_diagnostics();
  }
  last_report = steady_clock::now();
}

void serve_requests(ChannelReceiver<AudioCommand>& requests, AudioThreadState& state, bool diagnostics) {
  auto last_report = steady_clock::now();
  while (serve_one_request(requests, state)) {
    if (diagnostics) report_when_due(state, last_report);
  }
}

void audio_thread_main(Process& process, EndpointProperties& com, AudioThreadStart start) noexcept {
  try {
    process.set_current_thread_description(AUDIO_THREAD_NAME);
    run_audio_control_thread(process, com, std::move(start));
  } catch (...) {
    // A job or an object ended abnormally. Unwinding has released the objects, the context and
    // COM, and with them the channel ends, so the waiting caller and later ones learn of it from
    // their channels; the thread only has to end.
  }
}

/// The reply, or none when its promise was destroyed without a value (the thread ended first).
template <typename T>
std::optional<T> receive_reply(std::future<T>& reply) {
  try {
    return reply.get();
  } catch (const std::future_error& error) {
    if (error.code() != std::future_errc::broken_promise) throw;
    return std::nullopt;
  }
}

EndpointListResult enumerate_once(AudioControllerRegistry& registry, EndpointDirection direction) {
  // The reference taken for this request is released on return.
  auto controller = registry.shared_audio_controller();
  if (!controller) return failure(std::move(controller.error()));
  return (*controller)->enumerate_endpoints(direction);
}

}  // namespace

void EnumerateEndpoints::operator()(AudioThreadState& state) {
  reply.set_value(enumerate_context_endpoints(state.context, direction));
}

EndpointListResult receive_endpoint_reply(std::future<EndpointListResult>& reply) {
  std::optional<EndpointListResult> answer = receive_reply(reply);
  if (!answer) return failure("audio controller exited during operation");
  return std::move(*answer);
}

AudioController::AudioController(ChannelSender<AudioCommand> requests, std::string backend, std::jthread thread)
    : requests_(std::move(requests)), backend_(std::move(backend)), thread_(std::move(thread)) {}

AudioController::~AudioController() {
  static_cast<void>(requests_.send(AudioCommand{AudioCommand::Shutdown{}}));  // refused once the thread ended
  std::optional<std::jthread> thread;
  {
    const std::lock_guard lock(thread_mutex_);
    thread.swap(thread_);
  }
  if (!thread || !thread->joinable()) return;
  // Released from one of its own jobs, the thread cannot wait for itself; it ends at Shutdown.
  if (thread->get_id() == std::this_thread::get_id()) {
    thread->detach();
  } else {
    thread->join();
  }
}

EndpointListResult AudioController::enumerate_endpoints(EndpointDirection direction) {
  EnumerateEndpoints job{{}, direction};
  std::future<EndpointListResult> reply = job.reply.get_future();
  if (!run(std::move(job))) return failure("audio controller closed");
  return receive_endpoint_reply(reply);
}

bool AudioController::run(AudioRequest request) {
  return requests_.send(AudioCommand{AudioCommand::Run{std::move(request)}});
}

bool AudioController::closed() const { return requests_.receiver_closed(); }

std::expected<std::shared_ptr<AudioController>, std::string> start_audio_controller(Process& process,
                                                                                    EndpointProperties& com) {
  // Declared before the channels so that, on an abnormal exit, the request sender is gone (and
  // the thread leaves its loop) before the thread is joined.
  std::jthread thread;
  auto [requests, receiver] = make_channel<AudioCommand>();
  AudioThreadStart start{{}, std::move(receiver), process.environment_variable_present(AUDIO_DIAGNOSTICS_VARIABLE)};
  std::future<StartupReply> reply = start.startup.get_future();
  try {
    thread = std::jthread([&process, &com, start = std::move(start)]() mutable {
      audio_thread_main(process, com, std::move(start));
    });
  } catch (const std::system_error& error) {
    return failure("audio control thread: " + error.code().message());
  }

  std::optional<StartupReply> answer = receive_reply(reply);
  if (!answer) {
    thread.detach();
    return failure("audio control thread exited");
  }
  if (auto* failed = std::get_if<StartupReply::StartFailed>(&answer->outcome)) {
    thread.join();
    return failure(std::move(failed->message));
  }
  auto& serving = std::get<StartupReply::Serving>(answer->outcome);
  return std::make_shared<AudioController>(std::move(requests), std::move(serving.backend), std::move(thread));
}

void run_audio_control_thread(Process& process, EndpointProperties& com, AudioThreadStart start) {
  // Declared first, so COM is left last, after the objects and the context.
  const ComApartment apartment(com);
  if (!succeeded(apartment.result())) {
    const auto code = static_cast<std::uint32_t>(apartment.result());
    start.startup.set_value({StartupReply::StartFailed{"COM MTA initialization failed: " + hex_0x(code)}});
    return;
  }
  auto created = create_backend_context(process);
  if (!created) {
    start.startup.set_value({StartupReply::StartFailed{std::move(created.error())}});
    return;
  }
  AudioThreadState state(std::move(created->context));
  start.startup.set_value({StartupReply::Serving{std::move(created->backend)}});
  serve_requests(start.requests, state, start.diagnostics);
}

std::expected<std::shared_ptr<AudioController>, std::string> AudioControllerRegistry::shared_audio_controller() {
  const std::lock_guard lock(mutex_);
  if (poisoned_) return failure("audio controller registry poisoned");
  try {
    if (slot_) return slot_;
    auto started = start_audio_controller(process_, com_);
    if (started) slot_ = *started;
    return started;
  } catch (...) {
    poisoned_ = true;  // before the lock is released
    throw;
  }
}

AudioControllerRegistry& process_audio_controller_registry(Process& process, EndpointProperties& com) {
  // Never destroyed: destroying it at exit would stop and wait for the controller thread, which
  // the process leaves running when it exits.
  static AudioControllerRegistry* const registry = new AudioControllerRegistry(process, com);
  return *registry;
}

EndpointListResult list_audio_endpoints(AudioControllerRegistry& registry) {
  auto capture = enumerate_once(registry, EndpointDirection::Capture);
  if (!capture) return capture;
  auto render = enumerate_once(registry, EndpointDirection::Render);
  if (!render) return render;
  capture->insert(capture->end(), std::make_move_iterator(render->begin()), std::make_move_iterator(render->end()));
  return capture;
}

}  // namespace orvane
