#include "util/OVAdTimer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/MainLoop.h"
#include "util/OVAdWeakProxy.h"
#include "util/RuntimeTestSupport.h"

namespace plexora {
namespace {

using platform::DispatchQueue;
using platform::ManualClock;
using platform::ScopedClock;

class OVAdTimerTest : public testing::SettledQueuesTest {
 protected:
  std::shared_ptr<ManualClock> clock_ = std::make_shared<ManualClock>();
  ScopedClock scopedClock_{clock_};
  platform::DispatchQueuePtr queue_ = DispatchQueue::createSerial("timer-test");
  std::atomic<int> calls_{0};

  OVAdTimer::Block countingBlock() {
    return [this](const std::shared_ptr<OVAdTimer>&) { ++calls_; };
  }
};

TEST_F(OVAdTimerTest, OneShotTimerFiresOnceOneIntervalAfterCreationAndInvalidatesItself) {
  auto timer = OVAdTimer::scheduledTimerWithTimeInterval(0.5, false, queue_, countingBlock());
  ASSERT_TRUE(timer->isValid());

  clock_->advance(0.49);
  EXPECT_EQ(calls_, 0) << "the first tick comes one interval after creation, never at once";
  clock_->advance(0.01);
  EXPECT_EQ(calls_, 1);
  EXPECT_FALSE(timer->isValid());

  clock_->advance(10.0);
  EXPECT_EQ(calls_, 1);
}

TEST_F(OVAdTimerTest, DefaultsToTheMainQueue) {
  std::atomic<bool> ranOnMainThread{false};
  auto timer = OVAdTimer::scheduledTimerWithTimeInterval(
      1.0, false, [&](const std::shared_ptr<OVAdTimer>&) { ranOnMainThread = DispatchQueue::isMainThread(); });
  EXPECT_EQ(timer->queue(), DispatchQueue::main());

  clock_->advance(1.0);  // on the main thread, so the main queue runs too
  EXPECT_TRUE(ranOnMainThread);
}

TEST_F(OVAdTimerTest, RepeatingTimerCoversLongSpansOfVirtualTimeQuickly) {
  const auto started = std::chrono::steady_clock::now();
  auto timer = OVAdTimer::scheduledTimerWithTimeInterval(300.0, true, queue_, countingBlock());

  clock_->advance(3000.0);

  EXPECT_EQ(calls_, 10);
  EXPECT_TRUE(timer->isValid());
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
}

TEST_F(OVAdTimerTest, InvalidateStopsRepeatingTicksAndReleasesEverything) {
  auto timer = OVAdTimer::scheduledTimerWithTimeInterval(1.0, true, queue_, countingBlock());
  timer->setUserInfo(platform::Dictionary{{"owner", "test"}});
  clock_->advance(2.0);
  ASSERT_EQ(calls_, 2);

  timer->invalidate();
  timer->invalidate();  // a second call is harmless

  EXPECT_FALSE(timer->isValid());
  EXPECT_TRUE(timer->userInfo().isNull());
  EXPECT_EQ(timer->queue(), nullptr);
  clock_->advance(5.0);
  EXPECT_EQ(calls_, 2);
}

TEST_F(OVAdTimerTest, ATickAlreadyQueuedDoesNothingAfterInvalidate) {
  auto timer = OVAdTimer::scheduledTimerWithTimeInterval(60.0, true, countingBlock());
  timer->fire();  // queued on the main queue, not yet run
  timer->invalidate();

  platform::MainLoop::instance().runOnce();
  EXPECT_EQ(calls_, 0);
}

TEST_F(OVAdTimerTest, FireRunsOneTickAsARegularTickWould) {
  auto oneShot = OVAdTimer::scheduledTimerWithTimeInterval(60.0, false, queue_, countingBlock());
  oneShot->fire();
  ASSERT_TRUE(DispatchQueue::settle(testing::kSettleSeconds));
  EXPECT_EQ(calls_, 1);
  EXPECT_FALSE(oneShot->isValid()) << "a one-shot timer fired by hand is spent";

  oneShot->fire();
  ASSERT_TRUE(DispatchQueue::settle(testing::kSettleSeconds));
  EXPECT_EQ(calls_, 1) << "fire on an invalidated timer does nothing";

  auto repeating = OVAdTimer::scheduledTimerWithTimeInterval(60.0, true, queue_, countingBlock());
  repeating->fire();
  ASSERT_TRUE(DispatchQueue::settle(testing::kSettleSeconds));
  EXPECT_EQ(calls_, 2);
  EXPECT_TRUE(repeating->isValid());
}

TEST_F(OVAdTimerTest, ConditionStopsTheTimerAfterTheBlocksCall) {
  int conditionCalls = 0;
  auto timer = OVAdTimer::scheduledTimerWithTimeInterval(
      1.0, [&](const std::shared_ptr<OVAdTimer>&) { return ++conditionCalls == 3; }, queue_, countingBlock());

  clock_->advance(10.0);

  EXPECT_EQ(calls_, 3);
  EXPECT_EQ(conditionCalls, 3);
  EXPECT_FALSE(timer->isValid());
}

TEST_F(OVAdTimerTest, BlockThatInvalidatesItsTimerIsNotAskedAboutAgain) {
  int conditionCalls = 0;
  auto timer = OVAdTimer::scheduledTimerWithTimeInterval(
      1.0,
      [&](const std::shared_ptr<OVAdTimer>&) {
        ++conditionCalls;
        return false;
      },
      queue_,
      [&](const std::shared_ptr<OVAdTimer>& self) {
        ++calls_;
        self->invalidate();
      });

  clock_->advance(5.0);

  EXPECT_EQ(calls_, 1);
  EXPECT_EQ(conditionCalls, 0);
}

TEST_F(OVAdTimerTest, DroppingTheLastReferenceStopsTheTimer) {
  auto timer = OVAdTimer::scheduledTimerWithTimeInterval(1.0, true, queue_, countingBlock());
  std::weak_ptr<OVAdTimer> watched = timer;
  clock_->advance(1.0);
  ASSERT_EQ(calls_, 1);

  timer.reset();

  EXPECT_TRUE(watched.expired()) << "the running source must not keep its timer alive";
  clock_->advance(5.0);
  EXPECT_EQ(calls_, 1);
}

TEST_F(OVAdTimerTest, OwnerReleasingItsTimerFromTheTimersOwnBlockIsSafe) {
  struct Owner {
    std::shared_ptr<OVAdTimer> timer;
  };
  auto owner = std::make_shared<Owner>();
  std::weak_ptr<Owner> weakOwner = owner;
  owner->timer = OVAdTimer::scheduledTimerWithTimeInterval(1.0, true, queue_,
                                                           [this, weakOwner](const std::shared_ptr<OVAdTimer>&) {
                                                             ++calls_;
                                                             if (auto strongOwner = weakOwner.lock()) {
                                                               strongOwner->timer.reset();
                                                             }
                                                           });

  clock_->advance(3.0);

  EXPECT_EQ(calls_, 1);
  EXPECT_EQ(owner->timer, nullptr);
}

TEST_F(OVAdTimerTest, TargetBehindAWeakProxyIsReleasedAndLaterTicksReachNobody) {
  struct Target {
    std::atomic<int>* ticks;
    void tick() { ++*ticks; }
  };
  auto target = std::make_shared<Target>(Target{&calls_});
  std::weak_ptr<Target> watched = target;
  auto proxy = OVAdWeakProxy<Target>::proxyForObject(target);
  auto timer = OVAdTimer::scheduledTimerWithTimeInterval(
      1.0, true, queue_, [proxy](const std::shared_ptr<OVAdTimer>&) { proxy->forward([](Target& t) { t.tick(); }); });
  clock_->advance(1.0);
  ASSERT_EQ(calls_, 1);

  target.reset();

  EXPECT_TRUE(watched.expired());
  clock_->advance(3.0);
  EXPECT_EQ(calls_, 1);
  EXPECT_TRUE(timer->isValid());
}

}  // namespace
}  // namespace plexora
