#include "tracking/OVAdEventToken.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "util/database/OVAdDatabaseManager.h"
#include "util/database/OVAdDatabaseTestSupport.h"

namespace plexora {
namespace {

using testing::DatabaseTest;
using testing::initialize;
using testing::onDatabase;

TEST(OVAdCanonicalUUIDStringTest, AcceptsUUIDsInEitherCaseOnly) {
  struct Case {
    const char* text;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {"E621E1F8-C36C-495A-93FC-0C247A3E6E5F", "E621E1F8-C36C-495A-93FC-0C247A3E6E5F"},
      {"e621e1f8-c36c-495a-93fc-0c247a3e6e5f", "E621E1F8-C36C-495A-93FC-0C247A3E6E5F"},
      {"", std::nullopt},
      {"E621E1F8C36C495A93FC0C247A3E6E5F", std::nullopt},
      {"{E621E1F8-C36C-495A-93FC-0C247A3E6E5F}", std::nullopt},
      {"E621E1F8-C36C-495A-93FC-0C247A3E6E5G", std::nullopt},
      {"E621E1F8-C36C-495A-93FC0-C247A3E6E5F", std::nullopt},
      {"E621E1F8-C36C-495A-93FC-0C247A3E6E5F ", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(OVAdCanonicalUUIDString(c.text), c.expected) << c.text;
  }
}

TEST(OVAdEventTokenTest, NewTokenHasItsOwnUpperCaseIdentifier) {
  OVAdEventToken first("client-token");
  OVAdEventToken second("client-token");
  EXPECT_EQ(first.token(), "client-token");
  EXPECT_EQ(OVAdCanonicalUUIDString(first.tokenId()), first.tokenId());
  EXPECT_NE(first.tokenId(), second.tokenId());
}

TEST(OVAdEventTokenTest, PayloadMapsIdentifiersToClientTokens) {
  OVAdEventToken a("token a");
  OVAdEventToken b("token \"b\"");
  platform::Dictionary payload = OVAdEventToken::payloadDictionary({a, b});
  ASSERT_EQ(payload.size(), 2u);
  EXPECT_EQ(*payload.find(a.tokenId()), platform::Value("token a"));
  EXPECT_EQ(*payload.find(b.tokenId()), platform::Value("token \"b\""));
}

class OVAdEventTokenRowTest : public DatabaseTest, public ::testing::Test {
 protected:
  void SetUp() override {
    initialize(*manager_, [this](const OVAdDatabaseHandle& database) {
      manager_->createTableSyncWithDatabase(database, OVAdEventToken::kCreateTableStatement, nullptr);
    });
  }

  bool insert(const OVAdSQLStatement& statement) {
    bool inserted = false;
    onDatabase(*manager_, [&](const OVAdDatabaseHandle& database) {
      manager_->insertWithStatementSync(statement, database, [&](bool success) { inserted = success; });
    });
    return inserted;
  }

  std::vector<OVAdEventToken> readAll() {
    std::vector<OVAdEventToken> tokens;
    onDatabase(*manager_, [&](const OVAdDatabaseHandle& database) {
      manager_->deserializeWithStatementSync<OVAdEventToken>(
          "SELECT * FROM tokens ORDER BY rowid", database, &OVAdEventToken::deserializeFromSqlite,
          [&](std::vector<OVAdEventToken> rows) { tokens = std::move(rows); });
    });
    return tokens;
  }
};

TEST_F(OVAdEventTokenRowTest, RoundTripsThroughItsRow) {
  OVAdEventToken token("ct=\"abc\"; DROP TABLE tokens; --");
  ASSERT_TRUE(insert(token.insertStatement()));
  std::vector<OVAdEventToken> read = readAll();
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(read[0].tokenId(), token.tokenId());
  EXPECT_EQ(read[0].token(), token.token());
}

TEST_F(OVAdEventTokenRowTest, UnreadableRowsAreSkippedAndBadIdentifiersReplaced) {
  ASSERT_TRUE(insert({"INSERT INTO tokens VALUES (?, NULL)", {std::string("6F9619FF-8B86-D011-B42D-00C04FC964FF")}}));
  ASSERT_TRUE(insert({"INSERT INTO tokens VALUES (?, ?)",
                      {std::string("6f9619ff-8b86-d011-b42d-00c04fc964ff"), std::string("lower")}}));
  ASSERT_TRUE(insert({"INSERT INTO tokens VALUES (?, ?)", {std::string("not a uuid"), std::string("replaced")}}));

  std::vector<OVAdEventToken> read = readAll();
  ASSERT_EQ(read.size(), 2u);
  EXPECT_EQ(read[0].tokenId(), "6F9619FF-8B86-D011-B42D-00C04FC964FF");
  EXPECT_EQ(read[0].token(), "lower");
  EXPECT_EQ(read[1].token(), "replaced");
  EXPECT_EQ(OVAdCanonicalUUIDString(read[1].tokenId()), read[1].tokenId());
}

}  // namespace
}  // namespace plexora
