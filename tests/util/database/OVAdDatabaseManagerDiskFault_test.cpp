// The database manager's set-up on a full disk, through the fault-injecting
// VFS: a schema whose version cannot be recorded is not built on.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <future>
#include <memory>
#include <string>

#include "platform/foundation/Files.h"
#include "support/FaultInjectingVfs.h"
#include "util/database/OVAdDatabaseManager.h"
#include "util/database/OVAdDatabaseTestSupport.h"

namespace plexora {
namespace {

using testing::DiskFault;
using testing::FaultInjectingVfs;

class OVAdDatabaseManagerDiskFaultTest : public testing::DatabaseTest, public ::testing::Test {
 protected:
  OVAdDatabaseManagerDiskFaultTest() { manager_->setVFSName(FaultInjectingVfs::kName); }

  // A file in write-ahead mode at the version, made through SQLite's own
  // VFS: opening it again writes nothing.
  void makeFile(int version) const {
    ASSERT_TRUE(platform::createDirectories((directory_ / "plexora").string()));
    sqlite3* connection = nullptr;
    ASSERT_EQ(sqlite3_open(databasePath().c_str(), &connection), SQLITE_OK);
    const std::string sql = "PRAGMA journal_mode = WAL; PRAGMA user_version = " + std::to_string(version) + ";";
    ASSERT_EQ(sqlite3_exec(connection, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(connection);
  }

  int storedVersion() const {
    sqlite3* connection = nullptr;
    int version = -1;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_open(databasePath().c_str(), &connection) == SQLITE_OK &&
        sqlite3_prepare_v2(connection, "PRAGMA user_version", -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW) {
      version = sqlite3_column_int(statement, 0);
    }
    sqlite3_finalize(statement);
    sqlite3_close(connection);
    return version;
  }

  // The connection the next use of the database gets.
  OVAdDatabaseHandle nextUse() {
    std::promise<OVAdDatabaseHandle> handle;
    manager_->getDatabase([&](const OVAdDatabaseHandle& database) { handle.set_value(database); });
    return handle.get_future().get();
  }

  testing::ScopedDiskFaults faults_;
  std::atomic<int> upgrades_{0};
  std::atomic<int> completionsWithHandle_{0};
};

TEST_F(OVAdDatabaseManagerDiskFaultTest, UnrecordedSchemaVersionIsSetUpAgainOnceTheDiskHasRoom) {
  makeFile(0);
  faults_->failAfter(DiskFault::FullOnWrite, 0);
  const auto upgrades = &upgrades_;
  const auto completions = &completionsWithHandle_;
  auto completion = [completions](const OVAdDatabaseHandle& database) { *completions += database ? 1 : 0; };
  auto upgrade = [upgrades](const OVAdDatabaseHandle&) { ++*upgrades; };

  EXPECT_EQ(testing::initialize(*manager_, completion, nullptr, upgrade), nullptr)
      << "nothing may be built under version 0: the next launch would drop it as a new file's";
  EXPECT_EQ(upgrades_, 1);
  EXPECT_EQ(completionsWithHandle_, 0);
  EXPECT_EQ(storedVersion(), 0);

  faults_->clear();
  EXPECT_NE(nextUse(), nullptr);
  EXPECT_EQ(upgrades_, 2) << "the schema change is made again, with its version";
  EXPECT_EQ(completionsWithHandle_, 1);
  EXPECT_EQ(storedVersion(), 1);
}

TEST_F(OVAdDatabaseManagerDiskFaultTest, RecordedVersionNeedsNoWriteToOpen) {
  makeFile(1);
  faults_->failAfter(DiskFault::FullOnWrite, 0);
  const auto completions = &completionsWithHandle_;
  EXPECT_NE(testing::initialize(
                *manager_, [completions](const OVAdDatabaseHandle& database) { *completions += database ? 1 : 0; }),
            nullptr)
      << "a full disk leaves a file of the current version usable for reading";
  EXPECT_EQ(completionsWithHandle_, 1);
  EXPECT_EQ(storedVersion(), 1);
}

}  // namespace
}  // namespace plexora
