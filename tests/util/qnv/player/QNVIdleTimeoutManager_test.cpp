// The shared set of playing clients and the idle timer it drives.
#include <gtest/gtest.h>

#include "platform/dispatch/DispatchQueue.h"
#include "util/qnv/player/QNVIdleTimeoutManager.h"

namespace plexora {
namespace {

class RecordingApplication final : public OVSetIdleTimerApplicationProtocol {
 public:
  void setIdleTimerDisabled(bool disabled) override { calls.push_back(disabled); }
  std::vector<bool> calls;
};

class QNVIdleTimeoutManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Changes an earlier test of the process queued must not reach this
    // test's application.
    settle();
    manager_->_setApplication(application_);
  }
  void TearDown() override { manager_->_setApplication(std::make_shared<RecordingApplication>()); }
  // Runs the main queue's share of the work (the test runs on the main thread).
  static void settle() { platform::DispatchQueue::settle(); }

  std::shared_ptr<QNVIdleTimeoutManager> manager_ = QNVIdleTimeoutManager::sharedInstance();
  std::shared_ptr<RecordingApplication> application_ = std::make_shared<RecordingApplication>();
};

TEST_F(QNVIdleTimeoutManagerTest, FirstAddDisablesAndLastRemoveEnables) {
  auto first = std::make_shared<int>(1);
  auto second = std::make_shared<int>(2);
  manager_->addNonIdlingClient(first);
  manager_->addNonIdlingClient(first);
  manager_->addNonIdlingClient(second);
  manager_->removeNonIdlingClient(first);
  settle();
  EXPECT_EQ(application_->calls, std::vector<bool>{true});
  manager_->removeNonIdlingClient(second);
  settle();
  EXPECT_EQ(application_->calls, (std::vector<bool>{true, false}));
}

TEST_F(QNVIdleTimeoutManagerTest, RemovingAStrangerChangesNothing) {
  manager_->removeNonIdlingClient(std::make_shared<int>(3));
  settle();
  EXPECT_TRUE(application_->calls.empty());
}

TEST_F(QNVIdleTimeoutManagerTest, HoldsClientsOnlyWeakly) {
  auto client = std::make_shared<int>(4);
  std::weak_ptr<int> watch = client;
  manager_->addNonIdlingClient(client);
  settle();
  client.reset();
  EXPECT_TRUE(watch.expired());
  // A dead client is forgotten, so a new one disables the timer afresh.
  auto next = std::make_shared<int>(5);
  manager_->addNonIdlingClient(next);
  manager_->removeNonIdlingClient(next);
  settle();
  EXPECT_EQ(application_->calls, (std::vector<bool>{true, true, false}));
}

}  // namespace
}  // namespace plexora
