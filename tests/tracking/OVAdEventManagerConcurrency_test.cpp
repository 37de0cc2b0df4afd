// Logging from several threads while dispatches run: nothing is lost, and
// no event is ever in two batches at once.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tracking/OVAdEventManager.h"
#include "tracking/OVAdEventManagerTestSupport.h"

namespace plexora {
namespace {

using platform::Dictionary;
using platform::Value;
using testing::AcknowledgingEndpoint;

class EventManagerConcurrencyTest : public testing::EventManagerTest {};

TEST_F(EventManagerConcurrencyTest, LoggingFromSeveralThreadsLosesNothingAndSendsEachEventOnce) {
  constexpr int kThreads = 4;
  constexpr int kEventsPerThread = 150;
  constexpr int kTotal = kThreads * kEventsPerThread;
  AcknowledgingEndpoint endpoint;
  loggingBaseURL_ = endpoint.baseURL();
  // Small batches make many dispatches race with the logging.
  configManager_->setObject(Value(7), "unified_logging_event_limit");
  manager_ = makeManager();

  std::atomic<int> committed{0};
  std::atomic<int> threadsDone{0};
  std::set<std::string> logged;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    for (int i = 0; i < kEventsPerThread; ++i) {
      logged.insert(std::to_string(t) + "-" + std::to_string(i));
    }
    threads.emplace_back([&, t] {
      for (int i = 0; i < kEventsPerThread; ++i) {
        const std::string seq = std::to_string(t) + "-" + std::to_string(i);
        manager_->logEventOfType("video", (i + t) % 3 == 0 ? 1 : 0, "CT-" + std::to_string(i % 5),
                                 Dictionary{{"seq", seq}}, [&] { ++committed; });
      }
      ++threadsDone;
    });
  }
  // Time moves while the threads log, so dispatches form between inserts.
  while (threadsDone < kThreads) {
    advance(0.1);
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  // The last store work may not have started yet; until it has run, an
  // empty store says nothing.
  ASSERT_TRUE(platform::DispatchQueue::settle(testing::kNetworkWaitSeconds));

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!stored().empty() || !manager_->eventsInTransit().empty()) {
    ASSERT_LT(std::chrono::steady_clock::now(), deadline) << stored().size() << " events never left";
    advance(OVAdEventManager::kDispatchInterval);
    platform::MainLoop::instance().runUntil([&] { return manager_->eventsInTransit().empty(); },
                                            testing::kNetworkWaitSeconds);
    ASSERT_TRUE(platform::DispatchQueue::settle(testing::kNetworkWaitSeconds));
  }

  EXPECT_EQ(committed, kTotal);
  EXPECT_EQ(endpoint.problems(), std::vector<std::string>{});
  EXPECT_GE(endpoint.requestCount(), static_cast<std::size_t>(kTotal / 7)) << "batches were not capped";
  std::set<std::string> delivered;
  for (const auto& [eventId, deliveries] : endpoint.deliveries()) {
    EXPECT_EQ(deliveries.size(), 1u) << "event " << eventId << " was sent more than once";
    const Value* data = deliveries.front().event.find("data");
    const Value* seq = data != nullptr ? data->find("seq") : nullptr;
    delivered.insert(seq != nullptr ? seq->asString() : std::string());
  }
  EXPECT_EQ(delivered, logged);
  EXPECT_TRUE(testing::readStoredTokens(databasePath()).empty());
}

}  // namespace
}  // namespace plexora
