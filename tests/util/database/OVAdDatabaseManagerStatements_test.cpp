#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "util/database/OVAdDatabaseColumns.h"
#include "util/database/OVAdDatabaseManager.h"
#include "util/database/OVAdDatabaseTestSupport.h"

namespace plexora {
namespace {

using testing::DatabaseTest;
using testing::initialize;
using testing::LogCapture;
using testing::onDatabase;

constexpr const char* kNotesTable = "CREATE TABLE notes(id INTEGER PRIMARY KEY, text TEXT)";

class OVAdDatabaseManagerStatementsTest : public DatabaseTest, public ::testing::Test {
 protected:
  void SetUp() override {
    initialize(*manager_, [this](const OVAdDatabaseHandle& database) {
      manager_->createTableSyncWithDatabase(database, kNotesTable, nullptr);
    });
  }

  bool insert(const OVAdSQLStatement& statement) {
    bool inserted = false;
    onDatabase(*manager_, [&](const OVAdDatabaseHandle& database) {
      manager_->insertWithStatementSync(statement, database, [&](bool success) { inserted = success; });
    });
    return inserted;
  }

  std::vector<std::string> texts(const OVAdSQLStatement& query) {
    std::vector<std::string> result;
    onDatabase(*manager_, [&](const OVAdDatabaseHandle& database) {
      manager_->deserializeWithStatementSync<std::string>(
          query, database, [](sqlite3_stmt* row) { return OVAdColumnText(row, 0); },
          [&](std::vector<std::string> rows) { result = std::move(rows); });
    });
    return result;
  }
};

TEST_F(OVAdDatabaseManagerStatementsTest, CallbacksRunAtOnceOrQueuedAsEachOperationPromises) {
  std::vector<std::string> order;
  onDatabase(*manager_, [&](const OVAdDatabaseHandle& database) {
    manager_->createTableSyncWithDatabase(database, "CREATE TABLE other(x)", [&](bool) { order.push_back("create"); });
    order.push_back("1");
    manager_->insertWithStatementSync("INSERT INTO notes(text) VALUES ('a')", database,
                                      [&](bool) { order.push_back("insert"); });
    order.push_back("2");
    manager_->deleteWithStatementSync("DELETE FROM notes", database, [&] { order.push_back("delete"); });
    order.push_back("3");
    manager_->queryWithStatementSync("SELECT * FROM notes", database, [&](sqlite3_stmt*) { order.push_back("query"); });
    manager_->queryUserVersionSyncWithDatabase(database, [&](int) { order.push_back("version"); });
    manager_->setUserVersionSync(1, database, [&] { order.push_back("set version"); });
    manager_->setForeignKeyEnforcementSyncWithDatabase(database, [&] { order.push_back("foreign keys"); });
    manager_->dropTableSyncWithDatabase(database, "other", [&](bool) { order.push_back("drop"); });
    order.push_back("4");
  });
  EXPECT_EQ(order, (std::vector<std::string>{"1", "insert", "2", "delete", "3", "set version", "foreign keys", "4",
                                             "create", "query", "version", "drop"}));
}

TEST_F(OVAdDatabaseManagerStatementsTest, QueuedStatementStaysReadableUntilItsCallbackReturns) {
  ASSERT_TRUE(insert({"INSERT INTO notes(text) VALUES (?)", {std::string("one")}}));
  ASSERT_TRUE(insert({"INSERT INTO notes(text) VALUES (?)", {std::string("two")}}));
  EXPECT_EQ(texts("SELECT text FROM notes ORDER BY id"), (std::vector<std::string>{"one", "two"}));
}

TEST_F(OVAdDatabaseManagerStatementsTest, FailuresAreReportedNotFatal) {
  LogCapture log;
  std::optional<bool> created, dropped, insertedDuplicate, insertedMismatch;
  bool queryGotNull = false;
  bool deleteCalledBack = false;
  std::optional<std::vector<std::string>> rows;
  ASSERT_TRUE(insert({"INSERT INTO notes(id, text) VALUES (?, ?)", {std::int64_t{1}, std::string("a")}}));

  onDatabase(*manager_, [&](const OVAdDatabaseHandle& database) {
    manager_->createTableSyncWithDatabase(database, kNotesTable, [&](bool success) { created = success; });
    manager_->dropTableSyncWithDatabase(database, "missing", [&](bool success) { dropped = success; });
    manager_->insertWithStatementSync({"INSERT INTO notes(id, text) VALUES (?, ?)", {std::int64_t{1}, std::string("b")}},
                                      database, [&](bool success) { insertedDuplicate = success; });
    manager_->insertWithStatementSync({"INSERT INTO notes(text) VALUES (?)", {}}, database,
                                      [&](bool success) { insertedMismatch = success; });
    manager_->queryWithStatementSync("SELEKT nonsense", database,
                                     [&](sqlite3_stmt* statement) { queryGotNull = statement == nullptr; });
    manager_->deserializeWithStatementSync<std::string>(
        "SELECT text FROM missing", database, [](sqlite3_stmt* row) { return OVAdColumnText(row, 0); },
        [&](std::vector<std::string> result) { rows = std::move(result); });
    manager_->deleteWithStatementSync("DELETE FROM missing", database, [&] { deleteCalledBack = true; });
  });

  EXPECT_EQ(created, false);
  EXPECT_EQ(dropped, false);
  EXPECT_EQ(insertedDuplicate, false);
  EXPECT_EQ(insertedMismatch, false);
  EXPECT_TRUE(queryGotNull);
  EXPECT_EQ(rows, std::vector<std::string>{});
  EXPECT_TRUE(deleteCalledBack);
  EXPECT_TRUE(log.contains("CREATE TABLE statement could not be prepared. (table notes already exists)"));
  EXPECT_TRUE(log.contains("DROP TABLE statement could not be prepared. (no such table: missing)"));
  EXPECT_TRUE(log.contains("Could not insert item. INSERT INTO notes(id, text) VALUES (?, ?) (UNIQUE constraint failed"));
  EXPECT_TRUE(log.contains("SELECT statement could not be prepared."));
  EXPECT_TRUE(log.contains("DELETE statement could not be prepared. (no such table: missing)"));
  EXPECT_EQ(texts("SELECT text FROM notes"), std::vector<std::string>{"a"});
}

TEST_F(OVAdDatabaseManagerStatementsTest, ValuesAreBoundNeverSpliced) {
  const std::vector<std::string> hostile = {
      "plain",
      "quote\" inside",
      "it's",
      "x'); DROP TABLE notes; --",
      "\" OR \"1\"=\"1",
      std::string("zero\0byte", 9),
      "emoji \xF0\x9F\x98\x80 and ?",
  };
  for (const std::string& text : hostile) {
    ASSERT_TRUE(insert({"INSERT INTO notes(text) VALUES (?)", {text}})) << text;
  }
  for (const std::string& text : hostile) {
    EXPECT_EQ(texts({"SELECT text FROM notes WHERE text = ?", {text}}), std::vector<std::string>{text}) << text;
  }
  std::optional<bool> dropped;
  onDatabase(*manager_, [&](const OVAdDatabaseHandle& database) {
    manager_->dropTableSyncWithDatabase(database, "notes\"; DROP TABLE notes; --",
                                        [&](bool success) { dropped = success; });
  });
  EXPECT_EQ(dropped, false);
  EXPECT_EQ(texts("SELECT count(*) FROM notes"), std::vector<std::string>{std::to_string(hostile.size())});
}

TEST_F(OVAdDatabaseManagerStatementsTest, NumbersAndNullRoundTrip) {
  ASSERT_TRUE(insert({"INSERT INTO notes(id, text) VALUES (?, ?)", {std::int64_t{-9007199254740993}, {}}}));
  ASSERT_TRUE(insert({"INSERT INTO notes(id, text) VALUES (?, ?)", {std::int64_t{5}, 1700000000.125}}));
  std::vector<std::pair<std::int64_t, std::optional<std::string>>> rows;
  onDatabase(*manager_, [&](const OVAdDatabaseHandle& database) {
    manager_->queryWithStatementSync("SELECT id, text FROM notes ORDER BY id", database, [&](sqlite3_stmt* row) {
      while (sqlite3_step(row) == SQLITE_ROW) {
        rows.emplace_back(OVAdColumnInt64(row, 0), OVAdColumnText(row, 1));
      }
    });
  });
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].first, -9007199254740993);
  EXPECT_EQ(rows[0].second, std::nullopt);
  EXPECT_EQ(rows[1].second, "1700000000.125");
}

TEST_F(OVAdDatabaseManagerStatementsTest, ConcurrentCallersAreSerialisedOnTheQueue) {
  constexpr int kThreads = 8;
  constexpr int kInsertsPerThread = 40;
  std::atomic<int> running{0};
  std::atomic<int> overlaps{0};
  std::atomic<int> offQueue{0};
  std::atomic<int> inserted{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kInsertsPerThread; ++i) {
        manager_->getDatabase([&, t, i](const OVAdDatabaseHandle& database) {
          if (running.fetch_add(1) != 0) {
            ++overlaps;
          }
          if (!manager_->databaseQueue()->isCurrent()) {
            ++offQueue;
          }
          manager_->insertWithStatementSync(
              {"INSERT INTO notes(text) VALUES (?)", {std::to_string(t) + "/" + std::to_string(i)}}, database,
              [&](bool success) { inserted += success ? 1 : 0; });
          running.fetch_sub(1);
        });
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  platform::DispatchQueue::settle();

  EXPECT_EQ(overlaps, 0);
  EXPECT_EQ(offQueue, 0);
  EXPECT_EQ(inserted, kThreads * kInsertsPerThread);
  EXPECT_EQ(texts("SELECT count(DISTINCT text) FROM notes"),
            std::vector<std::string>{std::to_string(kThreads * kInsertsPerThread)});
}

}  // namespace
}  // namespace plexora
