#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/foundation/Paths.h"
#include "util/database/OVAdDatabaseManager.h"
#include "util/database/OVAdDatabaseTestSupport.h"

namespace plexora {
namespace {

using testing::DatabaseTest;
using testing::initialize;
using testing::LogCapture;
using testing::onDatabase;

// An integer pragma read through a connection of the test's own.
int pragmaOfFile(const std::string& path, const std::string& pragma) {
  sqlite3* connection = nullptr;
  EXPECT_EQ(sqlite3_open_v2(path.c_str(), &connection, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  sqlite3_stmt* statement = nullptr;
  int value = -1;
  if (sqlite3_prepare_v2(connection, ("PRAGMA " + pragma).c_str(), -1, &statement, nullptr) == SQLITE_OK &&
      sqlite3_step(statement) == SQLITE_ROW) {
    value = sqlite3_column_int(statement, 0);
  }
  sqlite3_finalize(statement);
  sqlite3_close(connection);
  return value;
}

void writeFile(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

// Open descriptors of this process on the file.
int openDescriptorsOn(const std::string& path) {
  const std::filesystem::path target = std::filesystem::canonical(path);
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    if (std::filesystem::read_symlink(entry.path(), error) == target) {
      ++count;
    }
  }
  return count;
}

struct SchemaCalls {
  std::atomic<int> upgrades{0};
  std::atomic<int> downgrades{0};
  OVAdDatabaseManager::HandleCallback upgrade() {
    return [this](const OVAdDatabaseHandle&) { ++upgrades; };
  }
  OVAdDatabaseManager::HandleCallback downgrade() {
    return [this](const OVAdDatabaseHandle&) { ++downgrades; };
  }
};

class OVAdDatabaseManagerInitializationTest : public DatabaseTest, public ::testing::Test {};

TEST_F(OVAdDatabaseManagerInitializationTest, FreshFileIsUpgradedOnceThenLeftAlone) {
  SchemaCalls calls;
  ASSERT_NE(initialize(*manager_, nullptr, calls.downgrade(), calls.upgrade()), nullptr);
  EXPECT_EQ(calls.upgrades, 1);
  EXPECT_EQ(calls.downgrades, 0);
  EXPECT_EQ(pragmaOfFile(databasePath(), "user_version"), 1);

  // The next launch finds version 1.
  auto nextLaunch = OVAdDatabaseManager::create();
  nextLaunch->setStoragePath(databasePath());
  ASSERT_NE(initialize(*nextLaunch, nullptr, calls.downgrade(), calls.upgrade()), nullptr);
  EXPECT_EQ(calls.upgrades, 1);
  EXPECT_EQ(calls.downgrades, 0);
}

TEST_F(OVAdDatabaseManagerInitializationTest, NewerSchemaIsDowngradedAndSetBackToOne) {
  writeFile(databasePath(), "");
  sqlite3* connection = nullptr;
  ASSERT_EQ(sqlite3_open(databasePath().c_str(), &connection), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(connection, "PRAGMA user_version = 7", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(connection);

  SchemaCalls calls;
  initialize(*manager_, nullptr, calls.downgrade(), calls.upgrade());
  EXPECT_EQ(calls.downgrades, 1);
  EXPECT_EQ(calls.upgrades, 0);
  EXPECT_EQ(pragmaOfFile(databasePath(), "user_version"), 1);
}

TEST_F(OVAdDatabaseManagerInitializationTest, ConnectionEnforcesForeignKeysAndLogsAhead) {
  initialize(*manager_);
  int foreignKeys = -1;
  onDatabase(*manager_, [&](const OVAdDatabaseHandle& database) {
    sqlite3_stmt* statement = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(database.get(), "PRAGMA foreign_keys", -1, &statement, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(statement), SQLITE_ROW);
    foreignKeys = sqlite3_column_int(statement, 0);
    sqlite3_finalize(statement);
  });
  EXPECT_EQ(foreignKeys, 1);

  sqlite3* connection = nullptr;
  ASSERT_EQ(sqlite3_open(databasePath().c_str(), &connection), SQLITE_OK);
  sqlite3_stmt* statement = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(connection, "PRAGMA journal_mode", -1, &statement, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(statement), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)), "wal");
  sqlite3_finalize(statement);
  sqlite3_close(connection);
}

TEST_F(OVAdDatabaseManagerInitializationTest, FileThatIsNoDatabaseIsReplacedByAFreshOne) {
  writeFile(databasePath(), std::string(8192, 'x'));
  writeFile(databasePath() + "-wal", std::string(8192, 'y'));
  LogCapture log;

  std::atomic<int> completions{0};
  SchemaCalls calls;
  OVAdDatabaseHandle handle = initialize(
      *manager_, [&](const OVAdDatabaseHandle&) { ++completions; }, calls.downgrade(), calls.upgrade());

  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(completions, 1);
  EXPECT_EQ(calls.upgrades, 1);
  EXPECT_EQ(pragmaOfFile(databasePath(), "user_version"), 1);
  EXPECT_TRUE(log.contains("Could not open database! Retrying..."));
  EXPECT_TRUE(log.contains("Corrupt or invalid database removed successfully. Recreating..."));
}

TEST_F(OVAdDatabaseManagerInitializationTest, UnopenablePathIsReportedAndRetriedOnNextUse) {
  // The database's folder is taken by a regular file.
  const std::string blocker = (directory_ / "plexora").string();
  writeFile(blocker, "not a folder");
  LogCapture log;

  std::vector<bool> completions;  // whether each completion got a connection
  auto completion = [&](const OVAdDatabaseHandle& database) {
    completions.push_back(database != nullptr);
    if (database) {
      sqlite3_exec(database.get(), "CREATE TABLE notes(text TEXT)", nullptr, nullptr, nullptr);
    }
  };
  EXPECT_EQ(initialize(*manager_, completion), nullptr);
  EXPECT_TRUE(log.contains("Could not open database! This is a severe error"));
  EXPECT_TRUE(std::filesystem::is_regular_file(blocker)) << "a path that merely cannot be opened is not removed";

  bool insertedWhileBroken = true;
  onDatabase(*manager_, [&](const OVAdDatabaseHandle& database) {
    EXPECT_EQ(database, nullptr);
    manager_->insertWithStatementSync("INSERT INTO notes VALUES ('lost')", database,
                                      [&](bool success) { insertedWhileBroken = success; });
  });
  EXPECT_FALSE(insertedWhileBroken);

  std::filesystem::remove(blocker);
  bool inserted = false;
  onDatabase(*manager_, [&](const OVAdDatabaseHandle& database) {
    ASSERT_NE(database, nullptr);
    manager_->insertWithStatementSync("INSERT INTO notes VALUES ('kept')", database,
                                      [&](bool success) { inserted = success; });
  });
  EXPECT_TRUE(inserted);
  EXPECT_EQ(completions, (std::vector<bool>{false, false, true}));
}

TEST_F(OVAdDatabaseManagerInitializationTest, WorkAskedForDuringInitializationWaitsForItsCompletion) {
  // Both requests are queued before the initialization starts.
  std::promise<void> gate;
  std::shared_future<void> opened = gate.get_future().share();
  manager_->databaseQueue()->async([opened] { opened.wait(); });
  manager_->initializeDatabaseWithCompletionCallback(
      [](const OVAdDatabaseHandle& database) {
        sqlite3_exec(database.get(), "CREATE TABLE notes(text TEXT)", nullptr, nullptr, nullptr);
      },
      nullptr, nullptr);
  std::promise<bool> inserted;
  manager_->getDatabase([&](const OVAdDatabaseHandle& database) {
    manager_->insertWithStatementSync("INSERT INTO notes VALUES ('first event')", database,
                                      [&](bool success) { inserted.set_value(success); });
  });

  gate.set_value();
  EXPECT_TRUE(inserted.get_future().get());
  platform::DispatchQueue::settle();
}

TEST_F(OVAdDatabaseManagerInitializationTest, ReinitializationClosesThePreviousConnection) {
  std::weak_ptr<sqlite3> first = initialize(*manager_);
  const int descriptorsOfOneConnection = openDescriptorsOn(databasePath());
  ASSERT_GT(descriptorsOfOneConnection, 0);

  OVAdDatabaseHandle second = initialize(*manager_);
  EXPECT_TRUE(first.expired());
  EXPECT_NE(second, nullptr);
  EXPECT_EQ(openDescriptorsOn(databasePath()), descriptorsOfOneConnection);
}

TEST_F(OVAdDatabaseManagerInitializationTest, OpenHandsOverOnlyTheWorkingConnection) {
  std::vector<OVAdDatabaseHandle> handles;
  manager_->openDatabaseWithCallback([&](const OVAdDatabaseHandle& database) { handles.push_back(database); });
  ASSERT_EQ(handles.size(), 1u);
  EXPECT_NE(handles[0], nullptr);
  OVAdDatabaseHandle current;
  onDatabase(*manager_, [&](const OVAdDatabaseHandle& database) { current = database; });
  EXPECT_EQ(current, handles[0]);
}

TEST(OVAdDatabaseManagerStoragePathTest, DefaultsToTheLibraryFolderOfTheCachesDirectory) {
  testing::TempDir caches;
  platform::setCachesDirectory(caches.path().string());
  auto manager = OVAdDatabaseManager::create();
  EXPECT_EQ(manager->storagePath(), (caches.path() / "plexora" / "database.sqlite").string());

  EXPECT_NE(initialize(*manager), nullptr);
  EXPECT_TRUE(std::filesystem::is_regular_file(caches.path() / "plexora" / "database.sqlite"));

  manager->setStoragePath((caches.path() / "elsewhere.sqlite").string());
  EXPECT_EQ(manager->storagePath(), (caches.path() / "elsewhere.sqlite").string());
  platform::setCachesDirectory("");
}

TEST(OVAdDatabaseManagerSharedTest, IsOneManagerOnTheDatabaseQueue) {
  auto shared = OVAdDatabaseManager::sharedManager();
  EXPECT_EQ(shared, OVAdDatabaseManager::sharedManager());
  EXPECT_EQ(shared->databaseQueue()->label(), "com.plexora.ads.database");
}

}  // namespace
}  // namespace plexora
