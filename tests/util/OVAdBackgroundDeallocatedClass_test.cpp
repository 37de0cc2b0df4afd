// Player objects are destroyed on the deallocation queue, in the order of
// their last releases, and weak references fail from the last release on.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <vector>

#include "platform/dispatch/DispatchSync.h"
#include "util/OVAdBackgroundDeallocatedClass.h"

namespace plexora {
namespace {

struct Destructions {
  std::mutex mutex;
  std::vector<int> order;
  bool allOnDeallocationQueue = true;
};

class HeavyPlayer {
 public:
  HeavyPlayer(int number, Destructions& destructions) : number_(number), destructions_(destructions) {}
  ~HeavyPlayer() {
    std::lock_guard lock(destructions_.mutex);
    destructions_.order.push_back(number_);
    if (!OVAdBackgroundDeallocationQueue()->isCurrent()) destructions_.allOnDeallocationQueue = false;
  }

 private:
  const int number_;
  Destructions& destructions_;
};

TEST(OVAdBackgroundDeallocatedClassTest, TheLastReleaseDestroysOnTheDeallocationQueue) {
  Destructions destructions;
  // Hold the queue so the releases below are seen before any destruction.
  platform::DispatchSemaphore holding;
  platform::DispatchSemaphore release;
  OVAdBackgroundDeallocationQueue()->async([&] {
    holding.signal();
    release.wait(10.0);
  });
  ASSERT_TRUE(holding.wait(10.0));

  auto first = OVAdMakeBackgroundDeallocated<HeavyPlayer>(1, destructions);
  auto second = OVAdMakeBackgroundDeallocated<HeavyPlayer>(2, destructions);
  auto extra = second;
  std::weak_ptr<HeavyPlayer> weakSecond = second;
  second.reset();
  EXPECT_NE(weakSecond.lock(), nullptr) << "another reference keeps it";
  extra.reset();
  first.reset();
  EXPECT_EQ(weakSecond.lock(), nullptr) << "null from the last release on";
  {
    std::lock_guard lock(destructions.mutex);
    EXPECT_TRUE(destructions.order.empty()) << "not destroyed on the releasing thread";
  }

  release.signal();
  OVAdBackgroundDeallocationQueue()->sync([] {});
  std::lock_guard lock(destructions.mutex);
  EXPECT_EQ(destructions.order, (std::vector<int>{2, 1}));
  EXPECT_TRUE(destructions.allOnDeallocationQueue);
}

}  // namespace
}  // namespace plexora
