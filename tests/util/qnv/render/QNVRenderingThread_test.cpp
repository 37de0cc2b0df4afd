// The rendering thread's run loop and its hand-off with the application's
// active state.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <mutex>

#include "platform/dispatch/Clock.h"
#include "util/qnv/render/QNVRenderingThread.h"

namespace plexora {
namespace {

class QNVRenderingThreadTest : public ::testing::Test {
 protected:
  std::shared_ptr<platform::ManualClock> manualClock_ = std::make_shared<platform::ManualClock>();
  platform::ScopedClock scopedClock_{manualClock_};
  std::shared_ptr<QNVRenderingThread> thread_ = QNVRenderingThread::create(false);

  std::mutex mutex_;
  std::vector<int> ran_;
  std::function<void()> record(int value) {
    return [this, value] {
      std::lock_guard lock(mutex_);
      ran_.push_back(value);
    };
  }
  std::vector<int> ran() {
    std::lock_guard lock(mutex_);
    return ran_;
  }
};

TEST_F(QNVRenderingThreadTest, RunsBlocksInOrderOnItsOwnThread) {
  thread_->performBlock(record(1));
  thread_->performBlock(record(2));
  bool onThread = false;
  EXPECT_TRUE(thread_->dispatchSync([&] { onThread = thread_->isCurrent(); }));
  EXPECT_TRUE(onThread);
  EXPECT_FALSE(thread_->isCurrent());
  EXPECT_EQ(ran(), (std::vector<int>{1, 2}));
}

TEST_F(QNVRenderingThreadTest, InactiveApplicationHoldsBlocksUntilActiveAgain) {
  thread_->_applicationWillResignActive();
  thread_->performBlock(record(1));
  // A synchronous dispatch gives up after one second of the platform clock.
  auto waited = std::async(std::launch::async, [&] { return thread_->dispatchSync(record(2)); });
  while (manualClock_->pendingWakeups() == 0) std::this_thread::yield();
  manualClock_->advance(1.0);
  EXPECT_FALSE(waited.get());
  EXPECT_TRUE(ran().empty());
  thread_->_applicationDidBecomeActive();
  EXPECT_TRUE(thread_->dispatchSync(record(3)));
  EXPECT_EQ(ran(), (std::vector<int>{1, 2, 3}));
}

TEST_F(QNVRenderingThreadTest, StopAskedBeforeTheLoopRunsIsKept) {
  for (int attempt = 0; attempt < 20; ++attempt) {
    auto fresh = QNVRenderingThread::create(false);
    fresh->_applicationWillResignActive();  // returns: the stop was not lost
    std::atomic<bool> ran{false};
    fresh->performBlock([&] { ran = true; });
    fresh->_applicationWillResignActive();  // a second resign does not wait again
    EXPECT_FALSE(ran);
    fresh->_applicationDidBecomeActive();
    EXPECT_TRUE(fresh->dispatchSync([] {}));
    EXPECT_TRUE(ran);
  }
}

TEST_F(QNVRenderingThreadTest, ActivationWithoutResignChangesNothing) {
  thread_->_applicationDidBecomeActive();
  thread_->_applicationDidBecomeActive();
  EXPECT_TRUE(thread_->dispatchSync(record(1)));
  thread_->_applicationWillResignActive();
  thread_->_applicationDidBecomeActive();
  EXPECT_TRUE(thread_->dispatchSync(record(2)));
  EXPECT_EQ(ran(), (std::vector<int>{1, 2}));
}

TEST_F(QNVRenderingThreadTest, DisplayLinkTicksOnTheThreadAtSixtyHertz) {
  std::atomic<int> ticks{0};
  std::atomic<bool> allOnThread{true};
  auto link = platform::DisplayLink::create([&](platform::DisplayLink&) {
    ++ticks;
    if (!thread_->isCurrent()) allOnThread = false;
  });
  thread_->addDisplayLink(link);
  EXPECT_TRUE(thread_->dispatchSync([] {}));  // the link is on the run loop
  link->setPaused(false);
  for (int frame = 0; frame < 30; ++frame) {
    manualClock_->advance(1.0 / 60.0 + 1e-6);
    ASSERT_TRUE(thread_->dispatchSync([] {}));
  }
  EXPECT_EQ(ticks, 30);
  EXPECT_TRUE(allOnThread);
  link->setPaused(true);
  manualClock_->advance(1.0);
  ASSERT_TRUE(thread_->dispatchSync([] {}));
  EXPECT_EQ(ticks, 30);
  link->invalidate();
}

TEST(QNVRenderingThreadSharedTest, FirstCallersFlagDecidesForTheProcess) {
  // An earlier test in the same program may have made the thread already:
  // whichever flag made it, later calls with either flag answer that thread
  // and leave its flag as it was.
  auto first = QNVRenderingThread::renderingThreadAllowingAppInactivePlayback(true);
  const bool decided = first->allowsAppInactivePlayback();
  for (const bool flag : {!decided, decided}) {
    auto later = QNVRenderingThread::renderingThreadAllowingAppInactivePlayback(flag);
    EXPECT_EQ(later, first);
    EXPECT_EQ(later->allowsAppInactivePlayback(), decided);
  }
}

}  // namespace
}  // namespace plexora
