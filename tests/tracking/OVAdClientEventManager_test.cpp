#include "tracking/OVAdClientEventManager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/dispatch/Clock.h"
#include "platform/foundation/Exception.h"
#include "util/RuntimeTestSupport.h"

namespace plexora {
namespace {

using platform::Dictionary;
using platform::Value;

class OVAdClientEventManagerTest : public ::testing::Test {
 protected:
  // The list is process-wide: start every test from an empty one.
  void SetUp() override { OVAdClientEventManager::clientEvents().removeAllObjects(); }
  void TearDown() override { OVAdClientEventManager::clientEvents().removeAllObjects(); }

  std::shared_ptr<platform::ManualClock> clock_ = std::make_shared<platform::ManualClock>(1700000000.75);
  platform::ScopedClock scopedClock_{clock_};
};

TEST_F(OVAdClientEventManagerTest, DumpWithoutEventsIsEmptyText) {
  EXPECT_EQ(OVAdClientEventManager::dumpClientEventsToJson(), "");
}

TEST_F(OVAdClientEventManagerTest, DumpTakesEveryEventInOrderAndEmptiesTheList) {
  OVAdClientEventManager::addClientEvent(OVAdClientEventManager::createErrorEventWithMessage("boom"));
  OVAdClientEventManager::addClientEvent(OVAdClientEventManager::createEventName(
      "bounceback", Dictionary{{"AdAction", "store"}, {"Time", 3}}, "request-1"));

  EXPECT_EQ(OVAdClientEventManager::dumpClientEventsToJson(),
            R"([{"name":"error","data":{"error_msg":"boom"},"time":1700000000,"request_id":""},)"
            R"({"name":"bounceback","data":{"AdAction":"store","Time":3},"time":1700000000,"request_id":"request-1"}])");
  EXPECT_EQ(OVAdClientEventManager::dumpClientEventsToJson(), "") << "the second request carries nothing new";

  OVAdClientEventManager::addClientEvent(OVAdClientEventManager::createErrorEventWithMessage("again"));
  EXPECT_NE(OVAdClientEventManager::dumpClientEventsToJson().find("again"), std::string::npos);
}

TEST_F(OVAdClientEventManagerTest, EventsNeedANameDataAndTime) {
  EXPECT_EQ(OVAdClientEvent::create(std::nullopt, Dictionary{}, 1), nullptr);
  EXPECT_EQ(OVAdClientEvent::create("error", Value(), 1), nullptr);
  EXPECT_EQ(OVAdClientEvent::create("error", Value("not a dictionary"), 1), nullptr);
  EXPECT_EQ(OVAdClientEvent::create("error", Dictionary{}, std::nullopt), nullptr);
  EXPECT_EQ(OVAdClientEventManager::createEventName("latency", Value()), nullptr);

  OVAdClientEventManager::addClientEvent(OVAdClientEventManager::createEventName("latency", Value()));
  EXPECT_EQ(OVAdClientEventManager::clientEvents().count(), 0u) << "adding no event changes nothing";
}

TEST_F(OVAdClientEventManagerTest, TimeIsWholeSecondsSince1970) {
  const auto event = OVAdClientEventManager::createEventName("latency", Dictionary{});
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(event->time(), 1700000000);
  EXPECT_EQ(event->requestId(), "");
  EXPECT_TRUE(event->getClientEventDictionary().find("time")->isInteger());
}

TEST_F(OVAdClientEventManagerTest, ErrorEventFactories) {
  const auto formatted = OVAdClientEventManager::createErrorEventWithFormat("Unable to launch %s %d", "page", 3);
  EXPECT_EQ(formatted->name(), "error");
  EXPECT_EQ(formatted->data(), Value(Dictionary{{"error_msg", "Unable to launch page 3"}}));

  struct Case {
    const platform::Exception* exception;
    Value expectedData;
  };
  const platform::Exception withDetails("NSInvalidArgumentException", "placementID cannot be nil",
                                        Dictionary{{"key", "value"}});
  const platform::Exception withoutDetails("OVFinalClassViolationException", "final");
  const Case cases[] = {
      {&withDetails,
       Dictionary{{"ex", "NSInvalidArgumentException"}, {"ex_msg", R"(placementID cannot be nil {"key":"value"})"}}},
      {&withoutDetails, Dictionary{{"ex", "OVFinalClassViolationException"}, {"ex_msg", "final (null)"}}},
      {nullptr, Dictionary{{"ex", ""}, {"ex_msg", "(null) (null)"}}},
  };
  for (const Case& c : cases) {
    const auto event = OVAdClientEventManager::createErrorEventWithException(c.exception);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(event->name(), "error");
    EXPECT_EQ(event->data(), c.expectedData);
  }
}

TEST_F(OVAdClientEventManagerTest, EventThatCannotBeWrittenAsJsonDoesNotSpoilTheOthers) {
  testing::RuntimeLogCapture log;
  OVAdClientEventManager::addClientEvent(OVAdClientEventManager::createErrorEventWithMessage("first"));
  OVAdClientEventManager::addClientEvent(
      OVAdClientEventManager::createEventName("binary", Dictionary{{"blob", platform::Bytes{1, 2, 3}}}));
  OVAdClientEventManager::addClientEvent(OVAdClientEventManager::createErrorEventWithMessage("last"));

  const std::string json = OVAdClientEventManager::dumpClientEventsToJson();

  const std::optional<Value> events = platform::parseJSON(json);
  ASSERT_TRUE(events.has_value()) << json;
  ASSERT_EQ(events->size(), 2u);
  EXPECT_EQ(events->at(0)->find("data")->find("error_msg")->asString(), "first");
  EXPECT_EQ(events->at(1)->find("data")->find("error_msg")->asString(), "last");
  EXPECT_EQ(log.count("Dropped client event binary"), 1u);
}

TEST_F(OVAdClientEventManagerTest, EventsAddedDuringDumpsAreNeverLost) {
  constexpr int kAdders = 4;
  constexpr int kPerAdder = 300;
  std::atomic<int> addersRunning{kAdders};
  std::vector<std::string> dumps;

  std::thread dumper([&] {
    while (addersRunning.load() > 0) {
      dumps.push_back(OVAdClientEventManager::dumpClientEventsToJson());
    }
  });
  std::vector<std::thread> adders;
  for (int adder = 0; adder < kAdders; ++adder) {
    adders.emplace_back([&, adder] {
      for (int i = 0; i < kPerAdder; ++i) {
        OVAdClientEventManager::addClientEvent(
            OVAdClientEventManager::createErrorEventWithMessage(std::to_string(adder * kPerAdder + i)));
      }
      --addersRunning;
    });
  }
  for (auto& adder : adders) {
    adder.join();
  }
  dumper.join();
  dumps.push_back(OVAdClientEventManager::dumpClientEventsToJson());

  std::vector<int> seen;
  for (const std::string& dump : dumps) {
    if (dump.empty()) {
      continue;
    }
    const std::optional<Value> events = platform::parseJSON(dump);
    ASSERT_TRUE(events.has_value());
    for (const Value& event : events->asArray()) {
      seen.push_back(std::stoi(event.find("data")->find("error_msg")->asString()));
    }
  }
  std::sort(seen.begin(), seen.end());
  ASSERT_EQ(seen.size(), static_cast<std::size_t>(kAdders * kPerAdder));
  for (int i = 0; i < kAdders * kPerAdder; ++i) {
    ASSERT_EQ(seen[static_cast<std::size_t>(i)], i) << "each event lands in exactly one dump";
  }
}

}  // namespace
}  // namespace plexora
