#include "tracking/OVAdEvent.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/dispatch/Clock.h"
#include "plexora/OVAdSettings.h"
#include "tracking/OVAdEventToken.h"
#include "util/OVAdUtility.h"
#include "util/database/OVAdDatabaseManager.h"
#include "util/database/OVAdDatabaseTestSupport.h"

namespace plexora {
namespace {

using testing::DatabaseTest;
using testing::initialize;
using testing::LogCapture;
using testing::onDatabase;

constexpr const char* kSessionId = "0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0";

platform::Dictionary sampleExtraData() {
  return platform::Dictionary{{"delay", 12}, {"msg", "say \"hi\"; DROP TABLE events; --"},
                              {"touch", platform::Dictionary{{"x", 1.5}}}};
}

TEST(OVAdEventTest, NewEventIsTimedByTheClockUnderANewIdentifier) {
  platform::ScopedClock clock(std::make_shared<platform::ManualClock>(1700000123.5));
  OVAdEvent event("impression", 0, "TOKEN", kSessionId, 1700000000.0, std::nullopt);
  OVAdEvent other("impression", 0, "TOKEN", kSessionId, 1700000000.0, std::nullopt);
  EXPECT_EQ(event.time(), 1700000123.5);
  EXPECT_EQ(OVAdCanonicalUUIDString(event.eventId()), event.eventId());
  EXPECT_NE(event.eventId(), other.eventId());
}

TEST(OVAdEventTest, PayloadHoldsTheSevenKeysWithTimesAsText) {
  struct Case {
    double time;
    double sessionStart;
    std::optional<platform::Dictionary> extraData;
    const char* timeText;
    const char* sessionTimeText;
    platform::Dictionary data;
  };
  const Case cases[] = {
      {1700000123.25, 1700000000.0, sampleExtraData(), "1700000123.25", "1700000000", sampleExtraData()},
      {1700000000.0, 1699999999.5, std::nullopt, "1700000000", "1699999999.5", platform::Dictionary()},
      {1700000000.123456, 0.1, std::nullopt, "1700000000.123456", "0.1", platform::Dictionary()},
  };
  for (const Case& c : cases) {
    platform::ScopedClock clock(std::make_shared<platform::ManualClock>(c.time));
    OVAdEvent event("click", 1, "5A0C1E3B-2D4F-4A6B-8C9D-0E1F2A3B4C5D", kSessionId, c.sessionStart, c.extraData);
    platform::Dictionary payload = event.payloadDictionary();

    std::vector<std::string> keys;
    for (const auto& entry : payload) {
      keys.push_back(entry.first);
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"id", "token_id", "type", "time", "session_id", "session_time", "data"}));
    EXPECT_EQ(*payload.find("id"), platform::Value(event.eventId()));
    EXPECT_EQ(*payload.find("token_id"), platform::Value("5A0C1E3B-2D4F-4A6B-8C9D-0E1F2A3B4C5D"));
    EXPECT_EQ(*payload.find("type"), platform::Value("click"));
    EXPECT_EQ(*payload.find("time"), platform::Value(c.timeText));
    EXPECT_EQ(*payload.find("session_id"), platform::Value(kSessionId));
    EXPECT_EQ(*payload.find("session_time"), platform::Value(c.sessionTimeText));
    EXPECT_EQ(*payload.find("data"), platform::Value(c.data));
  }
}

TEST(OVAdEventTest, JsonExtraDataIsNoneWithoutExtraData) {
  OVAdEvent without("video", 0, "T", kSessionId, 0, std::nullopt);
  EXPECT_EQ(without.jsonExtraData(), std::nullopt);
  OVAdEvent with("video", 0, "T", kSessionId, 0, platform::Dictionary{{"a", 1}});
  EXPECT_EQ(with.jsonExtraData(), "{\"a\":1}");
}

TEST(OVAdEventTest, StatusMessageNamesTheCapitalisedTypeOnATestDevice) {
  LogCapture log;
  OVAdSettings::addTestDevice(OVAdSettings::testDeviceHash());
  const std::pair<const char*, const char*> cases[] = {
      {"impression", "Impression is logged"},
      {"open_link", "Open_link is logged"},
      {"VIDEO progress", "Video Progress is logged"},
      {"", "Event is logged"},
  };
  for (const auto& [type, message] : cases) {
    OVAdEvent(type, 0, "T", kSessionId, 0, std::nullopt).logStatusMessage();
    EXPECT_TRUE(log.contains(std::string(message) + " (displayed for test ads only)")) << type;
  }
}

class OVAdEventRowTest : public DatabaseTest, public ::testing::Test {
 protected:
  void SetUp() override {
    initialize(*manager_, [this](const OVAdDatabaseHandle& database) {
      manager_->createTableSyncWithDatabase(database, OVAdEventToken::kCreateTableStatement, nullptr);
      manager_->createTableSyncWithDatabase(database, OVAdEvent::kCreateTableStatement, nullptr);
    });
    ASSERT_TRUE(insert(token_.insertStatement()));
  }

  bool insert(const OVAdSQLStatement& statement) {
    bool inserted = false;
    onDatabase(*manager_, [&](const OVAdDatabaseHandle& database) {
      manager_->insertWithStatementSync(statement, database, [&](bool success) { inserted = success; });
    });
    return inserted;
  }

  // A row written as-is: event id, session id and data.
  bool insertRaw(OVAdSQLValue eventId, OVAdSQLValue type, OVAdSQLValue sessionId, OVAdSQLValue data) {
    return insert({OVAdEvent::kInsertStatement,
                   {std::move(eventId), token_.tokenId(), std::int64_t{0}, std::move(type), 1.0, std::move(sessionId),
                    2.0, std::move(data)}});
  }

  std::vector<OVAdEvent> readAll() {
    std::vector<OVAdEvent> events;
    onDatabase(*manager_, [&](const OVAdDatabaseHandle& database) {
      manager_->deserializeWithStatementSync<OVAdEvent>("SELECT * FROM events ORDER BY rowid", database,
                                                        &OVAdEvent::deserializeFromSqlite,
                                                        [&](std::vector<OVAdEvent> rows) { events = std::move(rows); });
    });
    return events;
  }

  OVAdEventToken token_{"client token"};
};

TEST_F(OVAdEventRowTest, StoredEventReadsBackAsLogged) {
  std::optional<OVAdEvent> event;
  {
    platform::ScopedClock loggedAt(std::make_shared<platform::ManualClock>(1700000042.125));
    event.emplace("impression", std::numeric_limits<std::uint64_t>::max(), token_.tokenId(), kSessionId,
                  1699990000.5, sampleExtraData());
    ASSERT_TRUE(insert(event->insertStatement()));
  }
  platform::ScopedClock nextLaunch(std::make_shared<platform::ManualClock>(1800000000.0));
  std::vector<OVAdEvent> read = readAll();
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(read[0].eventId(), event->eventId());
  EXPECT_EQ(read[0].tokenId(), token_.tokenId());
  EXPECT_EQ(read[0].priority(), std::numeric_limits<std::uint64_t>::max());
  EXPECT_EQ(read[0].type(), "impression");
  EXPECT_EQ(read[0].time(), 1700000042.125);
  EXPECT_EQ(read[0].sessionId(), kSessionId);
  EXPECT_EQ(read[0].sessionStartTime(), 1699990000.5);
  EXPECT_EQ(read[0].extraData(), sampleExtraData());
}

TEST_F(OVAdEventRowTest, EventOfAnUnstoredTokenIsRefused) {
  OVAdEvent orphan("click", 0, OVAdEventToken("never stored").tokenId(), kSessionId, 0, std::nullopt);
  EXPECT_FALSE(insert(orphan.insertStatement()));
  EXPECT_TRUE(readAll().empty());
}

TEST_F(OVAdEventRowTest, RowsAreReadLeniently) {
  ASSERT_TRUE(insertRaw(std::string("A1111111-2222-3333-4444-555555555555"), std::string("no data"), kSessionId,
                        OVAdSQLValue()));
  ASSERT_TRUE(insertRaw(std::string("B1111111-2222-3333-4444-555555555555"), OVAdSQLValue(), kSessionId,
                        OVAdSQLValue()));
  ASSERT_TRUE(insertRaw(std::string("not-an-identifier"), std::string("bad id"), kSessionId, OVAdSQLValue()));
  ASSERT_TRUE(insertRaw(std::string("C1111111-2222-3333-4444-555555555555"), std::string("bad session"),
                        std::string("session?"), std::string("[1,2]")));
  ASSERT_TRUE(insertRaw(std::string("d1111111-2222-3333-4444-555555555555"), std::string("garbage data"), kSessionId,
                        std::string("{not json")));

  std::vector<OVAdEvent> read = readAll();
  ASSERT_EQ(read.size(), 4u);

  EXPECT_EQ(read[0].type(), "no data");
  EXPECT_EQ(read[0].extraData(), std::nullopt);
  EXPECT_EQ(*read[0].payloadDictionary().find("data"), platform::Value(platform::Dictionary()));
  EXPECT_EQ(read[0].storedEventId(), std::nullopt) << "the row already holds the identifier";

  EXPECT_EQ(read[1].type(), "bad id");
  EXPECT_EQ(OVAdCanonicalUUIDString(read[1].eventId()), read[1].eventId()) << "a new identifier";
  EXPECT_EQ(read[1].storedEventId(), "not-an-identifier");

  EXPECT_EQ(read[2].type(), "bad session");
  EXPECT_NE(read[2].sessionId(), "session?");
  EXPECT_EQ(OVAdCanonicalUUIDString(read[2].sessionId()), read[2].sessionId());
  EXPECT_EQ(read[2].extraData(), std::nullopt);

  EXPECT_EQ(read[3].type(), "garbage data");
  EXPECT_EQ(read[3].eventId(), "D1111111-2222-3333-4444-555555555555");
  EXPECT_EQ(read[3].storedEventId(), "d1111111-2222-3333-4444-555555555555");
  EXPECT_EQ(read[3].extraData(), std::nullopt);
}

}  // namespace
}  // namespace plexora
