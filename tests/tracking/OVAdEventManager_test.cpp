// The event manager against a scripted loopback server and a manual clock:
// when batches go out, what they carry, and what each answer does to the
// store.
#include "tracking/OVAdEventManager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <limits>
#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "plexora/OVAdSettings.h"
#include "tracking/OVAdEventManagerTestSupport.h"
#include "tracking/OVAdEventToken.h"

namespace plexora {
namespace {

using namespace std::chrono_literals;
using platform::Dictionary;
using platform::Value;
using testing::EventManagerTest;
using testing::readStoredTokens;
using testserver::Response;

std::set<std::string> asSet(const std::vector<std::string>& ids) { return {ids.begin(), ids.end()}; }

const Value& field(const Value& event, const char* key) {
  static const Value kMissing;
  const Value* value = event.find(key);
  return value != nullptr ? *value : kMissing;
}

TEST_F(EventManagerTest, PriorityZeroEventGoesAfterTheImmediateDelayAndLeavesWithItsToken) {
  OVAdSettings::setLogLevel(6);
  log("CT-1", 0, "impression", Dictionary{{"k", "v"}});
  const std::vector<std::string> ids = storedIds();
  ASSERT_EQ(ids.size(), 1u);
  answerNext(Response::text(200, testing::answerNaming(ids, "1")));

  advance(0.45);
  EXPECT_TRUE(manager_->eventsInTransit().empty()) << "sent before the immediate delay";
  advance(0.1);
  awaitAnswers(1);

  const auto request = server_.requests().at(0);
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.path, testing::kLoggingPath);
  EXPECT_EQ(request.header("Content-Type"), "application/x-www-form-urlencoded");
  const auto batch = batches().at(0);
  ASSERT_EQ(batch.eventIds(), ids);
  const Value& event = batch.events.at(0);
  EXPECT_EQ(field(event, "type"), Value("impression"));
  EXPECT_EQ(field(event, "data"), Value(Dictionary{{"k", "v"}}));
  EXPECT_EQ(field(event, "session_id"), Value(manager_->sessionId()));
  EXPECT_EQ(batch.tokens, (Dictionary{{field(event, "token_id").asString(), "CT-1"}}));

  EXPECT_TRUE(stored().empty());
  EXPECT_TRUE(readStoredTokens(databasePath()).empty()) << "a token without events must go with its last event";
  EXPECT_EQ(settings_.count("Logging 1 event with 1 token to " + server_.url("plxo_logging/") + "..."), 1u);
  EXPECT_EQ(settings_.count("Event with event ID " + ids[0] + " logged successfully."), 1u);
}

TEST_F(EventManagerTest, PriorityOneEventWaitsForTheTimerOrRidesWithTheNextImmediateBatch) {
  log("CT-1", 1, "native_view");
  advance(299.0);
  EXPECT_TRUE(manager_->eventsInTransit().empty()) << "a batch event went before the timer";
  EXPECT_TRUE(server_.requests().empty());
  advance(1.5);
  awaitAnswers(1);
  EXPECT_EQ(batches().at(0).eventIds(), storedIds());

  log("CT-2", 1, "browser_session");
  log("CT-3", 0, "open_link");
  advance(0.55);
  awaitAnswers(2);
  EXPECT_EQ(asSet(batches().at(1).eventIds()), asSet(storedIds())) << "the immediate batch takes every stored event";
  EXPECT_EQ(storedIds().size(), 3u);
}

TEST_F(EventManagerTest, ShortcutsLogTheirTypeAndPriority) {
  using Shortcut = void (OVAdEventManager::*)(const std::string&, OVAdEventManager::ExtraData);
  struct Case {
    Shortcut log;
    const char* type;
    std::int64_t priority;
  };
  const Case cases[] = {
      {&OVAdEventManager::logImpressionForToken, "impression", 0},
      {&OVAdEventManager::logImpressionMissForToken, "impression_miss", 1},
      {&OVAdEventManager::logStoreClickForToken, "store", 0},
      {&OVAdEventManager::logLinkClickForToken, "open_link", 0},
      {&OVAdEventManager::logSnapshotForToken, "native_view", 1},
      {&OVAdEventManager::logVideoEventForToken, "video", 0},
      {&OVAdEventManager::logCloseEventForToken, "close", 0},
      {&OVAdEventManager::logBrowserSessionEventForToken, "browser_session", 1},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    ((*manager_).*cases[i].log)("CT-" + std::to_string(i), std::nullopt);
  }
  ASSERT_TRUE(platform::DispatchQueue::settle());
  std::map<std::string, std::pair<std::string, std::int64_t>> logged;
  testing::readRows(databasePath(),
                    "SELECT tokens.token, events.type, events.priority FROM events JOIN tokens USING (tokenId)",
                    [&](sqlite3_stmt* row) {
                      logged[testing::columnText(row, 0)] = {testing::columnText(row, 1),
                                                             sqlite3_column_int64(row, 2)};
                    });
  ASSERT_EQ(logged.size(), std::size(cases));
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(logged["CT-" + std::to_string(i)], std::make_pair(std::string(cases[i].type), cases[i].priority));
  }
}

TEST_F(EventManagerTest, CallbackRunsOnceTheEventIsCommitted) {
  std::size_t seenFromCallback = 0;
  manager_->logEventOfType("video", 1, "CT-1", std::nullopt,
                           [&] { seenFromCallback = testing::readStoredEvents(databasePath()).size(); });
  ASSERT_TRUE(platform::DispatchQueue::settle());
  EXPECT_EQ(seenFromCallback, 1u);
}

TEST_F(EventManagerTest, AnswerCodesDecideWhatIsDeletedAndOneRetryFollows) {
  struct Case {
    Value code;
    bool deleted;
  };
  const std::vector<Case> cases = {
      {Value("1"), true},     {Value("2000"), true},  {Value("2001"), true}, {Value("2999"), true},
      {Value("0"), false},    {Value("1999"), false}, {Value("3000"), false}, {Value("500"), false},
      {Value(), false},       {Value(1), false},      {Value("abc"), false},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    log("CT-" + std::to_string(i), 1);
  }
  const std::vector<std::string> ids = storedIds();
  ASSERT_EQ(ids.size(), cases.size());
  std::vector<std::pair<std::string, Value>> answer;
  std::set<std::string> kept;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    answer.emplace_back(ids[i], cases[i].code);
    if (!cases[i].deleted) {
      kept.insert(ids[i]);
    }
  }
  answerNext(Response::text(200, testing::answerNaming(answer)));
  manager_->dispatchEventsImmediately();
  awaitAnswers(1);

  EXPECT_EQ(asSet(storedIds()), kept);
  std::set<std::string> keptTokens;
  for (const auto& event : stored()) {
    keptTokens.insert(event.tokenId);
  }
  std::set<std::string> storedTokens;
  for (const auto& token : readStoredTokens(databasePath())) {
    storedTokens.insert(token.tokenId);
  }
  EXPECT_EQ(storedTokens, keptTokens);

  // One retry for the whole answer: 5 s, then the immediate delay.
  advance(5.45);
  EXPECT_TRUE(manager_->eventsInTransit().empty());
  EXPECT_EQ(server_.requests().size(), 1u);
  advance(0.1);
  awaitAnswers(2);
  EXPECT_EQ(asSet(batches().at(1).eventIds()), kept);
  advance(10.0);
  EXPECT_EQ(server_.requests().size(), 2u) << "an empty answer schedules nothing";
}

TEST_F(EventManagerTest, EventLimitCapsEachBatchAfterLeavingOutEventsInTransit) {
  configManager_->setObject(Value(10), "unified_logging_event_limit");
  // Answers are held back until all three batches are in transit at once,
  // however slowly a loaded machine gets there.
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  struct Releaser {
    std::promise<void>& promise;
    ~Releaser() {
      try {
        promise.set_value();
      } catch (const std::future_error&) {
      }
    }
  } releaseOnExit{release};
  server_.on(testing::kLoggingPath, [released](const testserver::RecordedRequest&) {
    released.wait();
    return Response::text(200, "[]");
  });
  for (int i = 0; i < 25; ++i) {
    log("CT-" + std::to_string(i % 4), 1);
  }
  for (int i = 0; i < 3; ++i) {
    manager_->dispatchEventsImmediately();
    ASSERT_TRUE(platform::DispatchQueue::settle());
  }
  ASSERT_TRUE(server_.waitForRequests(3, std::chrono::seconds(10)));
  EXPECT_EQ(manager_->eventsInTransit().size(), 25u);
  release.set_value();
  awaitAnswers(3);

  std::vector<std::string> sent;
  std::vector<std::size_t> sizes;
  for (const auto& batch : batches()) {
    sizes.push_back(batch.events.size());
    std::set<std::string> tokenIds;
    for (const Value& event : batch.events) {
      sent.push_back(field(event, "id").asString());
      tokenIds.insert(field(event, "token_id").asString());
    }
    std::set<std::string> payloadTokens;
    for (const auto& [tokenId, token] : batch.tokens) {
      payloadTokens.insert(tokenId);
    }
    EXPECT_EQ(payloadTokens, tokenIds) << "a payload carries exactly the tokens of its events";
  }
  // Three connections at once: the server may see them in any order.
  std::sort(sizes.begin(), sizes.end());
  EXPECT_EQ(sizes, (std::vector<std::size_t>{5, 10, 10}));
  EXPECT_EQ(asSet(sent), asSet(storedIds()));
  EXPECT_EQ(asSet(sent).size(), 25u) << "an event went in two batches";

  // The empty answers released everything; it all goes again.
  EXPECT_EQ(storedIds().size(), 25u);
  manager_->dispatchEventsImmediately();
  awaitAnswers(4);
  EXPECT_EQ(batches().at(3).events.size(), 10u);
}

TEST_F(EventManagerTest, TwoImpressionsATenthApartShareOneBatch) {
  log("CT-1");
  advance(0.1);
  log("CT-2");
  const std::vector<std::string> ids = storedIds();
  server_.on(testing::kLoggingPath, Response::text(200, testing::answerNaming(ids, "1"), 300ms));
  advance(0.55);
  awaitAnswers(1);
  EXPECT_EQ(asSet(batches().at(0).eventIds()), asSet(ids));
  EXPECT_EQ(server_.requests().size(), 1u) << "the second dispatch found both in transit";
  EXPECT_TRUE(stored().empty());
}

TEST_F(EventManagerTest, AnswerNamingPartOfTheBatchFreesTheRestForTheNextDispatch) {
  log("CT-1", 1);
  log("CT-1", 1);
  log("CT-1", 1);
  const std::vector<std::string> ids = storedIds();
  answerNext(Response::text(200, testing::answerNaming({ids[0]}, "1")));
  manager_->dispatchEventsImmediately();
  awaitAnswers(1);

  EXPECT_EQ(asSet(storedIds()), asSet({ids[1], ids[2]}));
  EXPECT_EQ(readStoredTokens(databasePath()).size(), 1u) << "the token still has events";
  advance(6.0);
  EXPECT_EQ(server_.requests().size(), 1u) << "events the answer did not name wait for the next dispatch";
  manager_->dispatchEventsImmediately();
  awaitAnswers(2);
  EXPECT_EQ(asSet(batches().at(1).eventIds()), asSet({ids[1], ids[2]}));
}

TEST_F(EventManagerTest, AnswerCannotDeleteAnEventItWasNotSent) {
  configManager_->setObject(Value(1), "unified_logging_event_limit");
  log("CT-1", 1);
  log("CT-2", 1);
  const std::vector<std::string> ids = storedIds();
  answerNext(Response::text(200, testing::answerNaming(ids, "1")));
  manager_->dispatchEventsImmediately();
  awaitAnswers(1);
  ASSERT_EQ(batches().at(0).eventIds(), std::vector<std::string>{ids[0]});
  EXPECT_EQ(storedIds(), std::vector<std::string>{ids[1]});
}

TEST_F(EventManagerTest, TokenRowIsReusedAndMatchedExactlyAsWritten) {
  const std::vector<std::string> tokens = {"plain", "quote\"d' OR '1'='1", "semi; DROP TABLE events; --", ""};
  for (const std::string& token : tokens) {
    log(token, 1);
    log(token, 1);
  }
  std::multiset<std::string> storedTokens;
  std::map<std::string, std::string> tokenOfId;
  for (const auto& row : readStoredTokens(databasePath())) {
    storedTokens.insert(row.token);
    tokenOfId[row.tokenId] = row.token;
  }
  EXPECT_EQ(storedTokens, std::multiset<std::string>(tokens.begin(), tokens.end()));

  manager_->dispatchEventsImmediately();
  awaitAnswers(1);
  const auto batch = batches().at(0);
  ASSERT_EQ(batch.events.size(), 8u);
  for (const auto& [tokenId, token] : batch.tokens) {
    EXPECT_EQ(Value(tokenOfId[tokenId]), token);
  }
  EXPECT_EQ(batch.tokens.size(), tokens.size());
}

// A failed request keeps every event of its batch stored and frees it for
// the next dispatch; only an answer with a status (not 200) schedules a
// retry.
struct ServerFault {
  const char* name;
  Response response;
  bool retries;
};

void PrintTo(const ServerFault& fault, std::ostream* out) { *out << fault.name; }

class EventManagerFaultTest : public EventManagerTest, public ::testing::WithParamInterface<ServerFault> {};

TEST_P(EventManagerFaultTest, KeepsTheBatchAndSendsItAgain) {
  // Shorter than the timing-out answer's 3 s, and long enough for a machine
  // busy with a whole sanitizer suite to connect and send every other
  // request in time.
  constexpr double kRequestTimeout = 2.0;
  manager_ = makeManager(kRequestTimeout);
  log("CT-1", 1);
  log("CT-2", 1);
  const std::vector<std::string> ids = storedIds();
  answerNext(GetParam().response);
  manager_->dispatchEventsImmediately();
  awaitAnswers(1);
  EXPECT_EQ(asSet(storedIds()), asSet(ids));
  EXPECT_EQ(readStoredTokens(databasePath()).size(), 2u);

  advance(5.45);
  EXPECT_EQ(server_.requests().size(), 1u) << "retried before 5 s plus the immediate delay";
  advance(0.1);
  if (GetParam().retries) {
    awaitAnswers(2);
    EXPECT_EQ(asSet(batches().at(1).eventIds()), asSet(ids));
    return;
  }
  EXPECT_FALSE(server_.waitForRequests(2, 100ms)) << "a transport failure or a useless answer schedules no retry";
  log("CT-3");
  advance(0.55);
  awaitAnswers(2);
  EXPECT_EQ(batches().at(1).events.size(), 3u);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, EventManagerFaultTest,
    ::testing::Values(ServerFault{"Status500", Response::text(500, "busy"), true},
                      ServerFault{"Status204", Response::text(204, ""), true},
                      ServerFault{"DroppedConnection", Response::dropped(), false},
                      ServerFault{"Timeout", Response::text(200, "[]", 3s), false},
                      ServerFault{"BodyNotJSON", Response::text(200, "<html>busy</html>"), false},
                      ServerFault{"BodyNotAnArray", Response::text(200, R"({"id":"x","code":"1"})"), false},
                      ServerFault{"EntriesNotObjects", Response::text(200, R"(["1", 1, null])"), false},
                      ServerFault{"EmptyBody", Response::text(200, ""), false}),
    [](const ::testing::TestParamInfo<ServerFault>& info) { return info.param.name; });

TEST_F(EventManagerTest, StoredEventsGoAgainAfterARestartWithTheirOwnSession) {
  log("CT-1", 1);
  const std::string firstSession = manager_->sessionId();
  const auto before = stored();
  ASSERT_EQ(before.size(), 1u);

  advance(42.0);
  manager_ = makeManager();
  EXPECT_NE(manager_->sessionId(), firstSession);
  EXPECT_NEAR(manager_->sessionTime(), 0.0, 1e-6);
  log("CT-1");
  advance(0.55);
  awaitAnswers(1);
  EXPECT_NEAR(manager_->sessionTime(), 0.55, 1e-6);

  std::map<std::string, std::string> sessionOf;
  const auto batch = batches().at(0);
  for (const Value& event : batch.events) {
    sessionOf[field(event, "id").asString()] = field(event, "session_id").asString();
  }
  ASSERT_EQ(sessionOf.size(), 2u);
  EXPECT_EQ(sessionOf[before[0].eventId], firstSession);
  EXPECT_EQ(readStoredTokens(databasePath()).size(), 1u) << "the restarted manager reused the stored token";
}

TEST_F(EventManagerTest, AStoredEventWhoseIdentifierIsNoUpperCaseUUIDGetsOneOnItsRowAndIsSent) {
  log("CT-1", 1);
  const std::string tokenId = readStoredTokens(databasePath()).at(0).tokenId;
  sqlite3* connection = nullptr;
  ASSERT_EQ(sqlite3_open(databasePath().c_str(), &connection), SQLITE_OK);
  const std::string rows =
      "INSERT INTO events (eventId, tokenId, priority, type, time, sessionId, sessionStartTime) VALUES "
      "('legacy-7', '" + tokenId + "', 1, 'click', 1, '00000000-0000-0000-0000-000000000003', 1), "
      "('e2222222-3333-4444-5555-666666666666', '" + tokenId + "', 1, 'close', 1, "
      "'00000000-0000-0000-0000-000000000003', 1);";
  ASSERT_EQ(sqlite3_exec(connection, rows.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(connection);
  server_.on(testing::kLoggingPath, [](const testserver::RecordedRequest& request) {
    const std::optional<testing::LoggedBatch> batch = testing::batchOf(request);
    return Response::text(200, testing::answerNaming(batch ? batch->eventIds() : std::vector<std::string>{}, "1"));
  });

  log("CT-1", 0);
  advance(0.55);
  awaitAnswers(1);

  const auto batch = batches().at(0);
  ASSERT_EQ(batch.events.size(), 4u) << "two logged events and the two stored rows";
  std::map<std::string, std::string> idOfType;
  for (const Value& event : batch.events) {
    const std::string id = field(event, "id").asString();
    EXPECT_EQ(OVAdCanonicalUUIDString(id), id);
    idOfType[field(event, "type").asString()] = id;
  }
  EXPECT_EQ(idOfType["close"], "E2222222-3333-4444-5555-666666666666");
  EXPECT_TRUE(idOfType.contains("click"));
  EXPECT_TRUE(stored().empty()) << "the answer found every row under the identifier it was sent with";
}

TEST_F(EventManagerTest, SetUpRemovesTokensWithoutEventsAndEventsWithoutTokens) {
  log("CT-kept", 1);
  const auto kept = stored();
  ASSERT_EQ(kept.size(), 1u);
  sqlite3* connection = nullptr;
  ASSERT_EQ(sqlite3_open(databasePath().c_str(), &connection), SQLITE_OK);
  // A connection of its own does not enforce foreign keys, as a damaged or
  // older file would not either.
  ASSERT_EQ(sqlite3_exec(connection,
                         "INSERT INTO tokens VALUES ('00000000-0000-0000-0000-000000000001', 'lonely');"
                         "INSERT INTO events (eventId, tokenId, priority, type, time, sessionId, sessionStartTime) "
                         "VALUES ('00000000-0000-0000-0000-000000000002', 'GONE', 0, 'click', 1, "
                         "'00000000-0000-0000-0000-000000000003', 1);",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(connection);

  manager_ = makeManager();
  EXPECT_EQ(testing::idsOf(stored()), testing::idsOf(kept));
  const auto tokens = readStoredTokens(databasePath());
  ASSERT_EQ(tokens.size(), 1u);
  EXPECT_EQ(tokens[0].token, "CT-kept");
}

TEST_F(EventManagerTest, FileOfANewerSchemaStartsOverEmpty) {
  log("CT-1", 1);
  sqlite3* connection = nullptr;
  ASSERT_EQ(sqlite3_open(databasePath().c_str(), &connection), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(connection, "PRAGMA user_version = 2;", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(connection);

  manager_ = makeManager();
  EXPECT_TRUE(stored().empty());
  log("CT-2", 1);
  EXPECT_EQ(stored().size(), 1u) << "the tables were made again";
}

TEST_F(EventManagerTest, EventURLFollowsTheURLPrefix) {
  OVAdEventManagerEnvironment environment;
  environment.databaseManager = OVAdDatabaseManager::create();
  environment.databaseManager->setStoragePath(databasePath());
  environment.configManager = configManager_;
  environment.urlSession = session_;
  const auto manager = OVAdEventManager::create(environment);
  EXPECT_EQ(manager->eventURL(), "https://www.plexora.example/plxo_logging/");
  OVAdSettings::setUrlPrefix("sb");
  EXPECT_EQ(manager->eventURL(), "https://www.sb.plexora.example/plxo_logging/");
  OVAdSettings::setUrlPrefix("");
  EXPECT_EQ(manager->eventURL(), "https://www.plexora.example/plxo_logging/");
  ASSERT_TRUE(platform::DispatchQueue::settle());
}

TEST_F(EventManagerTest, WithoutItsOwnBaseTheEventURLFollowsAnAdServerOutsideTheLibrarysDomain) {
  OVAdEventManagerEnvironment environment;
  environment.databaseManager = OVAdDatabaseManager::create();
  environment.databaseManager->setStoragePath(databasePath());
  environment.configManager = configManager_;
  environment.urlSession = session_;
  environment.loggingBaseURL.clear();
  const auto manager = OVAdEventManager::create(environment);
  const std::string shipped = OVAdSettings::adServerBaseURL();
  struct Case {
    const char* adServer;
    const char* expected;
  };
  const Case cases[] = {
      {"http://127.0.0.1:8080/", "http://127.0.0.1:8080/plxo_logging/"},
      {"https://ads.partner.test/", "https://ads.partner.test/plxo_logging/"},
      {"https://ads.plexora.example/", "https://www.plexora.example/plxo_logging/"},
      {"https://plexora.example/", "https://www.plexora.example/plxo_logging/"},
      {"https://notplexora.example/", "https://notplexora.example/plxo_logging/"},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(OVAdSettings::setAdServerBaseURL(c.adServer)) << c.adServer;
    EXPECT_EQ(manager->eventURL(), c.expected) << c.adServer;
  }
  ASSERT_TRUE(OVAdSettings::setAdServerBaseURL(shipped));
  EXPECT_EQ(manager->eventURL(), "https://www.plexora.example/plxo_logging/");
  ASSERT_TRUE(platform::DispatchQueue::settle());
}

TEST(OVAdEventManagerCodesTest, CodesReadAsTheirLeadingInteger) {
  struct Case {
    std::optional<std::string> code;
    std::int64_t value;
    bool successful;
    bool retriable;
  };
  const Case cases[] = {
      {"1", 1, true, true},          {" +1", 1, true, true},         {"1.9", 1, true, true},
      {"2000", 2000, false, false},  {"2999", 2999, false, false},   {"2500xyz", 2500, false, false},
      {"1999", 1999, false, true},   {"3000", 3000, false, true},    {"-1", -1, false, true},
      {"", 0, false, true},          {"abc", 0, false, true},        {std::nullopt, 0, false, true},
      {"99999999999999999999", std::numeric_limits<std::int64_t>::max(), false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code.value_or("<absent>"));
    EXPECT_EQ(OVAdEventManager::integerValueOfCode(c.code), c.value);
    EXPECT_EQ(OVAdEventManager::isEventSuccessful(c.code), c.successful);
    EXPECT_EQ(OVAdEventManager::isEventRetriable(c.code), c.retriable);
  }
}

}  // namespace
}  // namespace plexora
