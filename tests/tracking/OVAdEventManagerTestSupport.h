// Helpers for the event manager's tests: reading the store straight from
// its file (not through the manager under test), decoding the batches the
// logging server received, writing the server's answers, and a fixture with
// a manager on a file of its own, a manual clock and a scripted loopback
// server.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/MainLoop.h"
#include "platform/value/Value.h"
#include "server/OVAdURLSession.h"
#include "support/TempDir.h"
#include "testserver/Exchange.h"
#include "testserver/TestServer.h"
#include "tracking/OVAdEventManager.h"
#include "util/OVAdConfigManager.h"
#include "util/OVAdUtility.h"
#include "util/SettingsTestEnvironment.h"
#include "util/database/OVAdDatabaseManager.h"

namespace plexora::testing {

inline constexpr const char* kLoggingPath = "/plxo_logging/";
inline constexpr const char* kTestUserAgent = "EventManagerTest/1.0";
// Long enough never to trip on a loaded machine; a healthy test never waits
// for it.
inline constexpr double kNetworkWaitSeconds = 10.0;

// ---- The store, read from its file ----

struct StoredEvent {
  std::string eventId;
  std::string tokenId;
  std::string type;
  std::optional<std::string> data;
};

struct StoredToken {
  std::string tokenId;
  std::string token;
};

// Runs `sql` on a connection of its own and hands each row to `row`.
template <typename Row>
void readRows(const std::string& databasePath, const char* sql, Row row) {
  sqlite3* connection = nullptr;
  ASSERT_EQ(sqlite3_open(databasePath.c_str(), &connection), SQLITE_OK);
  sqlite3_stmt* statement = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(connection, sql, -1, &statement, nullptr), SQLITE_OK) << sqlite3_errmsg(connection);
  while (sqlite3_step(statement) == SQLITE_ROW) {
    row(statement);
  }
  sqlite3_finalize(statement);
  sqlite3_close(connection);
}

inline std::string columnText(sqlite3_stmt* statement, int column) {
  const unsigned char* text = sqlite3_column_text(statement, column);
  return text != nullptr ? reinterpret_cast<const char*>(text) : "";
}

inline std::vector<StoredEvent> readStoredEvents(const std::string& databasePath) {
  std::vector<StoredEvent> events;
  readRows(databasePath, "SELECT eventId, tokenId, type, data FROM events", [&](sqlite3_stmt* row) {
    std::optional<std::string> data;
    if (sqlite3_column_type(row, 3) != SQLITE_NULL) {
      data = columnText(row, 3);
    }
    events.push_back({columnText(row, 0), columnText(row, 1), columnText(row, 2), data});
  });
  return events;
}

inline std::vector<StoredToken> readStoredTokens(const std::string& databasePath) {
  std::vector<StoredToken> tokens;
  readRows(databasePath, "SELECT tokenId, token FROM tokens",
           [&](sqlite3_stmt* row) { tokens.push_back({columnText(row, 0), columnText(row, 1)}); });
  return tokens;
}

inline std::vector<std::string> idsOf(const std::vector<StoredEvent>& events) {
  std::vector<std::string> ids;
  for (const StoredEvent& event : events) {
    ids.push_back(event.eventId);
  }
  return ids;
}

// ---- Batches and answers ----

// The "payload" of one logging request as the server received it.
struct LoggedBatch {
  platform::Array events;
  platform::Dictionary tokens;

  std::vector<std::string> eventIds() const {
    std::vector<std::string> ids;
    for (const platform::Value& event : events) {
      const platform::Value* id = event.find("id");
      ids.push_back(id != nullptr ? id->asString() : std::string());
    }
    return ids;
  }
};

// None unless the body is a form whose "payload" holds {"events": [...],
// "tokens": {...}}.
inline std::optional<LoggedBatch> batchOf(const testserver::RecordedRequest& request) {
  for (const auto& [name, value] : request.formFields()) {
    if (name != "payload") {
      continue;
    }
    const std::optional<platform::Value> payload = OVAdUtility::getObjectFromJSONString(value);
    if (!payload || !payload->isDictionary()) {
      return std::nullopt;
    }
    const platform::Value* events = payload->find("events");
    const platform::Value* tokens = payload->find("tokens");
    if (events == nullptr || !events->isArray() || tokens == nullptr || !tokens->isDictionary()) {
      return std::nullopt;
    }
    return LoggedBatch{events->asArray(), tokens->asDictionary()};
  }
  return std::nullopt;
}

// The server's answer: one {"id", "code"} object per event, as JSON text.
inline std::string answerNaming(const std::vector<std::pair<std::string, platform::Value>>& codes) {
  platform::Array answer;
  for (const auto& [eventId, code] : codes) {
    platform::Dictionary entry{{"id", eventId}};
    if (!code.isNull()) {
      entry.set("code", code);
    }
    answer.emplace_back(std::move(entry));
  }
  return OVAdUtility::getJSONStringFromObject(platform::Value(std::move(answer))).value_or("[]");
}

inline std::string answerNaming(const std::vector<std::string>& eventIds, const std::string& code) {
  std::vector<std::pair<std::string, platform::Value>> codes;
  for (const std::string& eventId : eventIds) {
    codes.emplace_back(eventId, code);
  }
  return answerNaming(codes);
}

// ---- A logging server for the reliability tests ----

// Whether the server's code ends an event's life (accepted, or refused for
// good).
inline bool isFinalCode(const std::string& code) {
  const std::int64_t value = OVAdEventManager::integerValueOfCode(code);
  return value == 1 || (value >= 2000 && value <= 2999);
}

// Answers every batch by its events, records every delivery and watches
// for an event that arrives while another batch carrying it is still being
// answered (one event in two batches at once).
//
// The first path segment before "plxo_logging/" names the sender's
// generation (a process of the kill test); "" when there is none. Once an
// event got a final code, the server repeats that code for it, as a real
// server that remembers would.
class AcknowledgingEndpoint {
 public:
  // The code for one event on its `attempt`-th delivery (from 1); none
  // leaves the event out of the answer.
  using CodePolicy = std::function<std::optional<std::string>(const std::string& eventId, int attempt)>;
  // A whole-request fault for the `index`-th request (from 0), or none.
  using FaultPolicy = std::function<std::optional<testserver::Response>(std::size_t index)>;

  struct Delivery {
    std::string generation;
    platform::Value event;
    std::optional<std::string> code;  // none: left out, or the request failed
  };

  explicit AcknowledgingEndpoint(CodePolicy codes = nullptr, FaultPolicy faults = nullptr)
      : codes_(std::move(codes)), faults_(std::move(faults)) {
    server_.on(
        "/", [this](const testserver::RecordedRequest& request) { return answer(request); },
        testserver::Match::Prefix);
    server_.start();
  }
  AcknowledgingEndpoint(const AcknowledgingEndpoint&) = delete;
  AcknowledgingEndpoint& operator=(const AcknowledgingEndpoint&) = delete;

  std::string baseURL(const std::string& generation = "") const {
    return generation.empty() ? server_.baseURL() : server_.baseURL() + generation + "/";
  }

  // Every delivery by event identifier, in order of arrival.
  std::map<std::string, std::vector<Delivery>> deliveries() const {
    std::lock_guard lock(mutex_);
    return deliveries_;
  }
  // Events that got a final code.
  std::set<std::string> finished() const {
    std::lock_guard lock(mutex_);
    std::set<std::string> ids;
    for (const auto& [eventId, code] : finalCodes_) {
      ids.insert(eventId);
    }
    return ids;
  }
  // Events that got a final code, each as first delivered: one snapshot, so
  // an event finished meanwhile cannot lack its delivery.
  std::map<std::string, platform::Value> finishedEvents() const {
    std::lock_guard lock(mutex_);
    std::map<std::string, platform::Value> events;
    for (const auto& [eventId, code] : finalCodes_) {
      events.emplace(eventId, deliveries_.at(eventId).front().event);
    }
    return events;
  }
  std::vector<std::string> problems() const {
    std::lock_guard lock(mutex_);
    return problems_;
  }
  std::size_t requestCount() const {
    std::lock_guard lock(mutex_);
    return requests_;
  }

 private:
  testserver::Response answer(const testserver::RecordedRequest& request) {
    const std::string generation = generationOf(request.path);
    const std::optional<LoggedBatch> batch = batchOf(request);
    std::unique_lock lock(mutex_);
    const std::size_t index = requests_++;
    if (!batch) {
      problems_.push_back("not a logging batch: " + request.body);
      return testserver::Response::text(400, "");
    }
    std::vector<std::string> ids = batch->eventIds();
    for (const std::string& eventId : ids) {
      if (!inFlight_.insert({generation, eventId}).second) {
        problems_.push_back("event " + eventId + " in two batches at once");
      }
    }
    const std::optional<testserver::Response> fault = faults_ ? faults_(index) : std::nullopt;
    std::vector<std::pair<std::string, platform::Value>> answered;
    for (std::size_t i = 0; i < ids.size(); ++i) {
      std::optional<std::string> code;
      if (!fault) {
        code = codeFor(ids[i], generation);
      }
      recordDelivery(ids[i], generation, batch->events[i], code);
      if (code) {
        answered.emplace_back(ids[i], *code);
      }
    }
    // Released before the answer leaves: the client can only send an event
    // again after it has read the answer.
    for (const std::string& eventId : ids) {
      inFlight_.erase({generation, eventId});
    }
    lock.unlock();
    return fault ? *fault : testserver::Response::text(200, answerNaming(answered));
  }

  std::optional<std::string> codeFor(const std::string& eventId, const std::string& generation) {
    if (const auto known = finalCodes_.find(eventId); known != finalCodes_.end()) {
      if (finalGeneration_[eventId] == generation) {
        problems_.push_back("event " + eventId + " sent again after its final answer, by the same process");
      }
      return known->second;
    }
    const int attempt = static_cast<int>(deliveries_[eventId].size()) + 1;
    std::optional<std::string> code = codes_ ? codes_(eventId, attempt) : std::optional<std::string>("1");
    if (code && isFinalCode(*code)) {
      finalCodes_[eventId] = *code;
      finalGeneration_[eventId] = generation;
    }
    return code;
  }

  void recordDelivery(const std::string& eventId, const std::string& generation, const platform::Value& event,
                      const std::optional<std::string>& code) {
    std::vector<Delivery>& earlier = deliveries_[eventId];
    if (!earlier.empty() && !(earlier.front().event == event)) {
      problems_.push_back("event " + eventId + " changed between deliveries");
    }
    earlier.push_back({generation, event, code});
  }

  static std::string generationOf(const std::string& path) {
    const std::size_t end = path.find(kLoggingPath);
    return end == std::string::npos || end == 0 ? std::string() : path.substr(1, end - 1);
  }

  const CodePolicy codes_;
  const FaultPolicy faults_;
  mutable std::mutex mutex_;
  std::size_t requests_ = 0;
  std::set<std::pair<std::string, std::string>> inFlight_;
  std::map<std::string, std::vector<Delivery>> deliveries_;
  std::map<std::string, std::string> finalCodes_;
  std::map<std::string, std::string> finalGeneration_;
  std::vector<std::string> problems_;
  // Last: stopped first, while the state its answers use still exists.
  testserver::TestServer server_;
};

// ---- Fixture ----

// A manager on a database file of its own, driven by a manual clock, that
// sends to a scripted loopback server (which answers "[]" unless a test
// queues another answer).
class EventManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(platform::DispatchQueue::settle(kNetworkWaitSeconds));
    server_.start();
    server_.on(kLoggingPath, testserver::Response::text(200, "[]"));
    loggingBaseURL_ = server_.baseURL();
    configManager_ = OVAdConfigManager::create(directory_.path().string());
    session_ = OVAdURLSession::create([](auto answer) { answer(std::string(kTestUserAgent)); });
    // The session polls for its user agent once the clock moves.
    clock_->advance(OVAdURLSession::kUserAgentPollInterval);
    manager_ = makeManager();
  }

  void TearDown() override {
    manager_.reset();
    EXPECT_TRUE(platform::DispatchQueue::settle(kNetworkWaitSeconds));
    // Closes the kept-alive connections, which would hold the server's stop
    // for a second each.
    session_.reset();
    EXPECT_TRUE(platform::DispatchQueue::settle(kNetworkWaitSeconds));
  }

  std::string databasePath() const { return (directory_ / "plexora" / "database.sqlite").string(); }

  // A manager over this test's file, as a new launch of the process would
  // make it; waits for its set-up.
  std::shared_ptr<OVAdEventManager> makeManager(std::optional<double> requestTimeout = std::nullopt) {
    auto databaseManager = OVAdDatabaseManager::create();
    databaseManager->setStoragePath(databasePath());
    OVAdEventManagerEnvironment environment;
    environment.databaseManager = databaseManager;
    environment.configManager = configManager_;
    environment.urlSession = session_;
    environment.loggingBaseURL = loggingBaseURL_;
    environment.requestTimeout = requestTimeout;
    auto manager = OVAdEventManager::create(std::move(environment));
    EXPECT_TRUE(platform::DispatchQueue::settle(kNetworkWaitSeconds));
    return manager;
  }

  // Logs and waits until the event is stored (no time passes).
  void log(const std::string& token, std::uint64_t priority = 0, const std::string& type = "impression",
           OVAdEventManager::ExtraData extraData = std::nullopt) {
    manager_->logEventOfType(type, priority, token, std::move(extraData));
    ASSERT_TRUE(platform::DispatchQueue::settle(kNetworkWaitSeconds));
  }

  std::vector<StoredEvent> stored() const { return readStoredEvents(databasePath()); }
  std::vector<std::string> storedIds() const { return idsOf(stored()); }

  void advance(double seconds) { clock_->advance(seconds); }

  // The batches received so far, in order of arrival.
  std::vector<LoggedBatch> batches() const {
    std::vector<LoggedBatch> received;
    for (const auto& request : server_.requests()) {
      std::optional<LoggedBatch> batch = batchOf(request);
      EXPECT_TRUE(batch.has_value()) << request.body;
      if (batch) {
        received.push_back(std::move(*batch));
      }
    }
    return received;
  }

  // Waits until the server received `count` requests and every batch sent
  // has had its answer processed.
  void awaitAnswers(std::size_t count) {
    ASSERT_TRUE(server_.waitForRequests(count, std::chrono::seconds(10)));
    ASSERT_TRUE(platform::MainLoop::instance().runUntil([&] { return manager_->eventsInTransit().empty(); },
                                                        kNetworkWaitSeconds));
    ASSERT_TRUE(platform::DispatchQueue::settle(kNetworkWaitSeconds));
  }

  // Queues the answer for the next batch.
  void answerNext(testserver::Response response) { server_.enqueue(kLoggingPath, std::move(response)); }

  SettingsTestEnvironment settings_;
  TempDir directory_;
  std::shared_ptr<platform::ManualClock> clock_ = std::make_shared<platform::ManualClock>();
  platform::ScopedClock scopedClock_{clock_};
  testserver::TestServer server_;
  // Where makeManager points its managers: the scripted server unless a
  // test says otherwise.
  std::string loggingBaseURL_;
  std::shared_ptr<OVAdConfigManager> configManager_;
  std::shared_ptr<OVAdURLSession> session_;
  std::shared_ptr<OVAdEventManager> manager_;
};

}  // namespace plexora::testing
