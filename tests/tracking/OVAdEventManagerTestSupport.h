// Helpers for the event manager's tests: reading the store straight from
// its file (not through the manager under test), decoding the batches the
// logging server received, writing the server's answers, and a fixture with
// a manager on a file of its own, a manual clock and a scripted loopback
// server.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <memory>
#include <optional>
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
    environment.loggingBaseURL = server_.baseURL();
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
  std::shared_ptr<OVAdConfigManager> configManager_;
  std::shared_ptr<OVAdURLSession> session_;
  std::shared_ptr<OVAdEventManager> manager_;
};

}  // namespace plexora::testing
