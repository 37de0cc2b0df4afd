#include "platform/foundation/NotificationCenter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/dispatch/DispatchTest.h"
#include "platform/dispatch/MainLoop.h"

namespace plexora::platform {
namespace {

using testing::DispatchTest;
using testing::kGenerousWaitSeconds;

constexpr const char* kPing = "PingNotification";
constexpr const char* kPong = "PongNotification";

class NotificationCenterTest : public DispatchTest {
 protected:
  NotificationCenter center_;
};

TEST_F(NotificationCenterTest, DeliversByNameAndPosterToObserversWithoutAQueueSynchronously) {
  int poster = 0;
  int otherPoster = 0;
  std::vector<std::string> seen;
  auto record = [&seen](std::string tag) {
    return [&seen, tag](const Notification& notification) { seen.push_back(tag + ":" + notification.name); };
  };
  center_.addObserver(kPing, nullptr, nullptr, record("ping"));
  center_.addObserver(kPing, &poster, nullptr, record("ping-from-poster"));
  center_.addObserver("", nullptr, nullptr, record("all"));
  center_.addObserver("", &otherPoster, nullptr, record("all-from-other"));

  center_.post(kPing, &poster);
  center_.post(kPong);
  center_.post(kPong, &otherPoster);

  std::vector<std::string> expected{"ping:PingNotification", "ping-from-poster:PingNotification",
                                    "all:PingNotification",  "all:PongNotification",
                                    "all:PongNotification",  "all-from-other:PongNotification"};
  EXPECT_EQ(seen, expected);
}

TEST_F(NotificationCenterTest, HandsTheNotificationsContentToTheBlock) {
  int poster = 0;
  Notification received;
  center_.addObserver(kPing, nullptr, nullptr, [&](const Notification& notification) { received = notification; });
  Value userInfo(Dictionary{{"key", "payload"}});
  center_.post(kPing, &poster, userInfo);
  EXPECT_EQ(received.name, kPing);
  EXPECT_EQ(received.object, &poster);
  EXPECT_EQ(received.userInfo, userInfo);
}

TEST_F(NotificationCenterTest, QueuedObserversRunOnTheirQueueAndInlineWhenAlreadyOnIt) {
  auto serial = DispatchQueue::createSerial("observer");
  std::atomic<bool> ranOnSerial{false};
  center_.addObserver(kPing, nullptr, serial, [&](const Notification&) { ranOnSerial = serial->isCurrent(); });
  bool ranOnMain = false;
  center_.addObserver(kPong, nullptr, DispatchQueue::main(),
                      [&](const Notification&) { ranOnMain = DispatchQueue::isMainThread(); });

  center_.post(kPong);  // The main thread is the main queue's: delivered inline.
  EXPECT_TRUE(ranOnMain);

  ranOnMain = false;
  std::thread poster([&] {
    center_.post(kPong);
    center_.post(kPing);
  });
  poster.join();
  EXPECT_FALSE(ranOnMain);  // Queued for the main loop.
  ASSERT_TRUE(DispatchQueue::settle(kGenerousWaitSeconds));
  EXPECT_TRUE(ranOnMain);
  EXPECT_TRUE(ranOnSerial);
}

TEST_F(NotificationCenterTest, ADeliveryQueuedBeforeRemovalIsDropped) {
  int calls = 0;
  auto token = center_.addObserver(kPing, nullptr, DispatchQueue::main(), [&](const Notification&) { ++calls; });
  std::thread poster([&] { center_.post(kPing); });
  poster.join();

  center_.removeObserver(token);
  EXPECT_EQ(MainLoop::instance().runOnce(), 1);  // The queued delivery came up...
  EXPECT_EQ(calls, 0);                           // ...and did nothing.
  center_.post(kPing);
  EXPECT_EQ(calls, 0);
}

TEST_F(NotificationCenterTest, RemovalReleasesTheBlock) {
  auto captured = std::make_shared<int>(0);
  std::weak_ptr<int> watched = captured;
  auto token = center_.addObserver(kPing, nullptr, nullptr, [captured](const Notification&) { ++*captured; });
  captured.reset();
  center_.post(kPing);
  ASSERT_FALSE(watched.expired());
  center_.removeObserver(token);
  EXPECT_TRUE(watched.expired());
  center_.removeObserver(token);  // Unknown tokens are ignored.
}

TEST_F(NotificationCenterTest, BlocksMayAddAndRemoveObserversWhileBeingNotified) {
  std::vector<std::string> seen;
  NotificationCenter::ObserverToken second = 0;
  NotificationCenter::ObserverToken first = 0;
  first = center_.addObserver(kPing, nullptr, nullptr, [&](const Notification&) {
    seen.push_back("first");
    center_.removeObserver(first);   // Itself, mid-call.
    center_.removeObserver(second);  // A later observer of this very post.
    center_.addObserver(kPing, nullptr, nullptr, [&](const Notification&) { seen.push_back("added"); });
  });
  second = center_.addObserver(kPing, nullptr, nullptr, [&](const Notification&) { seen.push_back("second"); });

  center_.post(kPing);
  EXPECT_EQ(seen, (std::vector<std::string>{"first"}));
  center_.post(kPing);
  EXPECT_EQ(seen, (std::vector<std::string>{"first", "added"}));
}

TEST_F(NotificationCenterTest, ConcurrentPostsReachEveryObserver) {
  constexpr int kPosters = 4;
  constexpr int kPostsEach = 250;
  std::atomic<int> inline_{0};
  std::atomic<int> queued{0};
  center_.addObserver(kPing, nullptr, nullptr, [&](const Notification&) { inline_.fetch_add(1); });
  center_.addObserver(kPing, nullptr, DispatchQueue::createSerial("counted"),
                      [&](const Notification&) { queued.fetch_add(1); });
  std::vector<std::thread> posters;
  for (int i = 0; i < kPosters; ++i) {
    posters.emplace_back([&] {
      for (int j = 0; j < kPostsEach; ++j) {
        center_.post(kPing);
      }
    });
  }
  for (auto& poster : posters) {
    poster.join();
  }
  ASSERT_TRUE(DispatchQueue::settle(kGenerousWaitSeconds));
  EXPECT_EQ(inline_, kPosters * kPostsEach);
  EXPECT_EQ(queued, kPosters * kPostsEach);
}

TEST(NotificationCenterDefaultTest, IsOneProcessWideCentre) {
  EXPECT_EQ(&NotificationCenter::defaultCenter(), &NotificationCenter::defaultCenter());
}

}  // namespace
}  // namespace plexora::platform
