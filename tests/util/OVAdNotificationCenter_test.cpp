#include "util/OVAdNotificationCenter.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/dispatch/MainLoop.h"
#include "util/RuntimeTestSupport.h"

namespace plexora {
namespace {

constexpr const char* kTestNotification = "OVAdNotificationCenterTestNotification";

class OVAdNotificationCenterTest : public testing::SettledQueuesTest {
 protected:
  static void post() { OVAdNotificationCenter::notificationCenter().post(kTestNotification); }

  // Observes on the posting thread, so a post delivers at once.
  static void observe(const std::shared_ptr<OVAdNotificationCenter>& centre, int& calls) {
    centre->addNotificationWithName(kTestNotification, nullptr, nullptr,
                                    [&calls](const platform::Notification&) { ++calls; });
  }
};

TEST_F(OVAdNotificationCenterTest, RemovingTheOwnersObserversSilencesAllOfThem) {
  auto owner = std::make_shared<int>(0);
  int first = 0;
  int second = 0;
  observe(OVAdNotificationCenter::notificationCenterForObject(owner), first);
  observe(OVAdNotificationCenter::notificationCenterForObject(owner), second);
  post();
  ASSERT_EQ(first + second, 2);

  OVAdNotificationCenter::removeAllObserversForObject(owner.get());
  post();

  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 1);
  EXPECT_EQ(OVAdNotificationCenter::notificationCenterForObject(owner, false), nullptr)
      << "the centre is detached from its owner";
}

TEST_F(OVAdNotificationCenterTest, ReleasingTheOwnerRemovesItsObservers) {
  auto owner = std::make_shared<std::string>("owner");
  int calls = 0;
  std::weak_ptr<OVAdNotificationCenter> centre = OVAdNotificationCenter::notificationCenterForObject(owner);
  observe(centre.lock(), calls);

  owner.reset();
  post();
  ASSERT_TRUE(platform::DispatchQueue::settle(testing::kSettleSeconds));

  EXPECT_EQ(calls, 0);
  EXPECT_TRUE(centre.expired()) << "the centre and its observers are released with the owner";
}

TEST_F(OVAdNotificationCenterTest, OwnerMayRemoveItsObserversFromItsDestructor) {
  struct Owner {
    ~Owner() { OVAdNotificationCenter::removeAllObserversForObject(this); }
  };
  auto owner = std::make_shared<Owner>();
  int calls = 0;
  std::weak_ptr<OVAdNotificationCenter> centre = OVAdNotificationCenter::notificationCenterForObject(owner);
  observe(centre.lock(), calls);

  owner.reset();

  EXPECT_TRUE(centre.expired());
  post();
  EXPECT_EQ(calls, 0);
}

TEST_F(OVAdNotificationCenterTest, LookupWithoutUpdateNeitherMakesNorAttaches) {
  auto owner = std::make_shared<int>(0);

  EXPECT_EQ(OVAdNotificationCenter::notificationCenterForObject(owner, false), nullptr);
  EXPECT_EQ(OVAdNotificationCenter::notificationCenterForObject(owner, false), nullptr);
  EXPECT_EQ(OVAdNotificationCenter::notificationCenterForObject(nullptr), nullptr);
  OVAdNotificationCenter::removeAllObserversForObject(owner.get());  // an owner without a centre: nothing
  EXPECT_EQ(OVAdNotificationCenter::notificationCenterForObject(owner, false), nullptr);

  auto centre = OVAdNotificationCenter::notificationCenterForObject(owner);
  ASSERT_NE(centre, nullptr);
  EXPECT_EQ(OVAdNotificationCenter::notificationCenterForObject(owner, false), centre);
}

TEST_F(OVAdNotificationCenterTest, RemoveAllObserversOfACentreDetachesIt) {
  auto owner = std::make_shared<int>(0);
  auto centre = OVAdNotificationCenter::notificationCenterForObject(owner);
  int calls = 0;
  observe(centre, calls);

  centre->removeAllObservers();
  post();

  EXPECT_EQ(calls, 0);
  auto next = OVAdNotificationCenter::notificationCenterForObject(owner);
  EXPECT_NE(next, centre);
}

TEST_F(OVAdNotificationCenterTest, SetNotificationCenterAttachesAGivenCentre) {
  auto owner = std::make_shared<int>(0);
  auto centre = OVAdNotificationCenter::create();

  OVAdNotificationCenter::setNotificationCenter(centre, owner);

  EXPECT_EQ(OVAdNotificationCenter::notificationCenterForObject(owner, false), centre);
}

TEST_F(OVAdNotificationCenterTest, ReleasingACentreRemovesItsObservers) {
  auto centre = OVAdNotificationCenter::create();
  int calls = 0;
  observe(centre, calls);

  centre.reset();
  post();

  EXPECT_EQ(calls, 0);
}

TEST_F(OVAdNotificationCenterTest, ObserversRunOnTheMainQueueByDefault) {
  auto owner = std::make_shared<int>(0);
  bool ranOnMainThread = false;
  OVAdNotificationCenter::notificationCenterForObject(owner)->addNotificationWithName(
      kTestNotification, [&](const platform::Notification&) { ranOnMainThread = platform::DispatchQueue::isMainThread(); });

  platform::DispatchQueue::global()->async(post);

  EXPECT_TRUE(platform::MainLoop::instance().runUntil([&] { return ranOnMainThread; }, testing::kSettleSeconds));
  OVAdNotificationCenter::removeAllObserversForObject(owner.get());
}

}  // namespace
}  // namespace plexora
