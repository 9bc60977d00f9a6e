// An unbounded first-in first-out channel with any number of senders and one receiver, whose
// receiver waits with a time limit and learns when every sender is gone.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <expected>
#include <memory>
#include <mutex>
#include <utility>

namespace orvane {

/// Why `ChannelReceiver::receive_for` returned no value.
enum class ReceiveFailure : std::uint8_t {
  TimedOut,  // nothing arrived in time; senders remain
  Closed,    // the queue is empty and no sender is left
};

namespace channel_detail {

template <typename T>
struct ChannelState {
  std::mutex mutex;
  std::condition_variable arrived;
  std::deque<T> queue;
  std::size_t senders = 1;
  bool receiver_open = true;
};

}  // namespace channel_detail

template <typename T>
class ChannelReceiver;

/// A sending end. Copies are further senders; the channel closes for the receiver once the last
/// one is destroyed and the queue has been drained.
template <typename T>
class ChannelSender {
 public:
  ChannelSender(const ChannelSender& other) : state_(other.state_) {
    if (state_) {
      const std::lock_guard lock(state_->mutex);
      ++state_->senders;
    }
  }
  ChannelSender(ChannelSender&& other) noexcept = default;
  ChannelSender& operator=(ChannelSender other) noexcept {
    std::swap(state_, other.state_);
    return *this;
  }
  ~ChannelSender() { release(); }

  /// Queues `value`; false, with `value` destroyed, when the receiver is gone.
  bool send(T value) {
    // A refused `value` is destroyed with the parameter, after the lock has been released.
    const std::lock_guard lock(state_->mutex);
    if (!state_->receiver_open) return false;
    state_->queue.push_back(std::move(value));
    state_->arrived.notify_one();
    return true;
  }

  /// Whether the receiver has been destroyed, so that nothing sent will ever be received.
  [[nodiscard]] bool receiver_closed() const {
    const std::lock_guard lock(state_->mutex);
    return !state_->receiver_open;
  }

 private:
  template <typename U>
  friend std::pair<ChannelSender<U>, ChannelReceiver<U>> make_channel();

  explicit ChannelSender(std::shared_ptr<channel_detail::ChannelState<T>> state) : state_(std::move(state)) {}

  void release() {
    if (!state_) return;
    const std::lock_guard lock(state_->mutex);
    if (--state_->senders == 0) state_->arrived.notify_all();
  }

  std::shared_ptr<channel_detail::ChannelState<T>> state_;
};

/// The one receiving end. Destroying it refuses later sends and destroys what is still queued.
template <typename T>
class ChannelReceiver {
 public:
  ChannelReceiver(const ChannelReceiver&) = delete;
  ChannelReceiver& operator=(const ChannelReceiver&) = delete;
  ChannelReceiver(ChannelReceiver&& other) noexcept = default;
  ChannelReceiver& operator=(ChannelReceiver&&) = delete;
  ~ChannelReceiver() {
    if (!state_) return;
    std::deque<T> discarded;
    {
      const std::lock_guard lock(state_->mutex);
      state_->receiver_open = false;
      discarded.swap(state_->queue);
    }
    // `discarded` is destroyed here, outside the lock, oldest first.
    while (!discarded.empty()) discarded.pop_front();
  }

  /// The oldest queued value, waiting at most `timeout` for one to arrive.
  std::expected<T, ReceiveFailure> receive_for(std::chrono::milliseconds timeout) {
    std::unique_lock lock(state_->mutex);
    const bool ready = state_->arrived.wait_for(
        lock, timeout, [this] { return !state_->queue.empty() || state_->senders == 0; });
    if (!state_->queue.empty()) {
      T value = std::move(state_->queue.front());
      state_->queue.pop_front();
      return value;
    }
    return std::unexpected(ready ? ReceiveFailure::Closed : ReceiveFailure::TimedOut);
  }

 private:
  template <typename U>
  friend std::pair<ChannelSender<U>, ChannelReceiver<U>> make_channel();

  explicit ChannelReceiver(std::shared_ptr<channel_detail::ChannelState<T>> state) : state_(std::move(state)) {}

  std::shared_ptr<channel_detail::ChannelState<T>> state_;
};

/// A new open channel: its first sender and its receiver.
template <typename T>
std::pair<ChannelSender<T>, ChannelReceiver<T>> make_channel() {
  auto state = std::make_shared<channel_detail::ChannelState<T>>();
  return {ChannelSender<T>(state), ChannelReceiver<T>(state)};
}

}  // namespace orvane
