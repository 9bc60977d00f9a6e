#include "audio/channel.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace orvane {
namespace {

using namespace std::chrono_literals;

// Long enough never to expire in a passing run; a broken wake-up fails instead of hanging.
constexpr std::chrono::milliseconds NEVER = 30s;

TEST(Channel, DeliversInSendingOrderAcrossSenders) {
  auto [first, receiver] = make_channel<int>();
  ChannelSender<int> second = first;
  EXPECT_TRUE(first.send(1));
  EXPECT_TRUE(second.send(2));
  EXPECT_TRUE(first.send(3));
  for (int expected : {1, 2, 3}) EXPECT_EQ(receiver.receive_for(NEVER), expected);
}

TEST(Channel, TimesOutWhileASenderRemains) {
  auto [sender, receiver] = make_channel<int>();
  {
    const ChannelSender<int> copy = sender;  // one copy leaving does not close the channel
  }
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(receiver.receive_for(20ms), std::unexpected(ReceiveFailure::TimedOut));
  EXPECT_GE(std::chrono::steady_clock::now() - started, 20ms);
}

TEST(Channel, DrainsQueuedValuesBeforeReportingClosed) {
  auto [sender, receiver] = make_channel<int>();
  EXPECT_TRUE(sender.send(7));
  { const auto gone = std::move(sender); }
  EXPECT_EQ(receiver.receive_for(NEVER), 7);
  EXPECT_EQ(receiver.receive_for(NEVER), std::unexpected(ReceiveFailure::Closed));
}

TEST(Channel, WakesAWaitingReceiverOnSendAndOnClose) {
  auto [sender, receiver] = make_channel<int>();
  auto last = std::make_unique<ChannelSender<int>>(std::move(sender));
  std::vector<std::expected<int, ReceiveFailure>> seen;
  std::thread waiter([&] {
    seen.push_back(receiver.receive_for(NEVER));
    seen.push_back(receiver.receive_for(NEVER));
  });
  std::this_thread::sleep_for(10ms);  // most likely already waiting; either order must work
  EXPECT_TRUE(last->send(5));
  last.reset();
  waiter.join();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0], 5);
  EXPECT_EQ(seen[1], std::unexpected(ReceiveFailure::Closed));
}

TEST(Channel, RefusesSendsAndDestroysQueuedValuesOnceTheReceiverIsGone) {
  auto [sender, receiver] = make_channel<std::shared_ptr<int>>();
  const auto queued = std::make_shared<int>(1);
  EXPECT_TRUE(sender.send(queued));
  EXPECT_FALSE(sender.receiver_closed());
  { const auto gone = std::move(receiver); }
  EXPECT_EQ(queued.use_count(), 1);  // the queued copy was destroyed with the receiver
  EXPECT_TRUE(sender.receiver_closed());

  const auto refused = std::make_shared<int>(2);
  EXPECT_FALSE(sender.send(refused));
  EXPECT_EQ(refused.use_count(), 1);
}

TEST(Channel, KeepsEachSendersOrderUnderConcurrentSenders) {
  constexpr int SENDERS = 4;
  constexpr int PER_SENDER = 2000;
  auto [sender, receiver] = make_channel<std::pair<int, int>>();
  std::vector<std::thread> threads;
  for (int s = 0; s < SENDERS; ++s) {
    threads.emplace_back([s, copy = sender]() mutable {
      for (int i = 0; i < PER_SENDER; ++i) EXPECT_TRUE(copy.send({s, i}));
    });
  }
  { const auto gone = std::move(sender); }

  std::vector<int> next(SENDERS, 0);
  int received = 0;
  while (auto value = receiver.receive_for(NEVER)) {
    const auto [s, i] = *value;
    EXPECT_EQ(i, next[static_cast<std::size_t>(s)]++);
    ++received;
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(received, SENDERS * PER_SENDER);
}

}  // namespace
}  // namespace orvane
