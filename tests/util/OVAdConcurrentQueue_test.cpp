#include "util/OVAdConcurrentQueue.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "util/RuntimeTestSupport.h"

namespace plexora {
namespace {

using OVAdConcurrentQueueTest = testing::SettledQueuesTest;

void settle() { ASSERT_TRUE(platform::DispatchQueue::settle(testing::kSettleSeconds)); }

TEST_F(OVAdConcurrentQueueTest, PopTakesTheHeadAndLeavesTheRestInOrder) {
  OVAdConcurrentQueue<std::string> queue;
  queue.pushObject("A");
  queue.pushObject("B");
  queue.pushObject("A");
  std::optional<std::string> popped;
  std::vector<std::string> rest;

  queue.pop([&](std::optional<std::string> head) { popped = std::move(head); });
  queue.popAll([&](std::vector<std::string> all) { rest = std::move(all); });
  settle();

  EXPECT_EQ(popped, "A");
  EXPECT_EQ(rest, (std::vector<std::string>{"B", "A"}));
}

TEST_F(OVAdConcurrentQueueTest, EmptyQueueAnswersNothing) {
  OVAdConcurrentQueue<int> queue;
  bool popAllCalled = false;
  std::vector<int> all{99};
  int headCalls = 0;
  std::optional<int> popped = 1;
  std::optional<int> peeked = 1;

  queue.popAll([&](std::vector<int> elements) {
    popAllCalled = true;
    all = std::move(elements);
  });
  queue.pop([&](std::optional<int> head) {
    ++headCalls;
    popped = head;
  });
  queue.peek([&](std::optional<int> head) {
    ++headCalls;
    peeked = head;
  });
  settle();

  EXPECT_TRUE(popAllCalled);
  EXPECT_TRUE(all.empty());
  EXPECT_EQ(headCalls, 2) << "the callbacks run even when there is nothing to hand";
  EXPECT_EQ(popped, std::nullopt);
  EXPECT_EQ(peeked, std::nullopt);
}

TEST_F(OVAdConcurrentQueueTest, PeekLeavesTheHeadAndPopAllEmptiesTheQueue) {
  OVAdConcurrentQueue<int> queue;
  queue.pushObject(1);
  queue.pushObject(2);
  std::optional<int> peeked;
  std::vector<int> all;
  std::optional<int> afterPopAll = 0;

  queue.peek([&](std::optional<int> head) { peeked = head; });
  queue.popAll([&](std::vector<int> elements) { all = std::move(elements); });
  queue.peek([&](std::optional<int> head) { afterPopAll = head; });
  settle();

  EXPECT_EQ(peeked, 1);
  EXPECT_EQ(all, (std::vector<int>{1, 2}));
  EXPECT_EQ(afterPopAll, std::nullopt);
}

TEST_F(OVAdConcurrentQueueTest, MissingCallbacksStillChangeTheQueue) {
  OVAdConcurrentQueue<int> queue;
  queue.pushObject(1);
  queue.pushObject(2);
  queue.pushObject(3);
  std::vector<int> left;

  queue.pop(nullptr);
  queue.peek(nullptr);
  queue.popAll([&](std::vector<int> elements) { left = std::move(elements); });
  settle();

  EXPECT_EQ(left, (std::vector<int>{2, 3}));
}

TEST_F(OVAdConcurrentQueueTest, WorkQueuedBeforeTheQueueIsDestroyedStillRunsSafely) {
  auto element = std::make_shared<int>(5);
  std::weak_ptr<int> watched = element;
  std::optional<std::shared_ptr<int>> popped;
  {
    OVAdConcurrentQueue<std::shared_ptr<int>> queue;
    queue.pushObject(std::move(element));
    queue.pushObject(std::make_shared<int>(6));
    queue.pop([&](std::optional<std::shared_ptr<int>> head) { popped = std::move(head); });
  }
  settle();

  ASSERT_TRUE(popped.has_value());
  EXPECT_EQ(**popped, 5);
  popped.reset();
  EXPECT_TRUE(watched.expired()) << "the elements are released with the last queued work";
}

}  // namespace
}  // namespace plexora
