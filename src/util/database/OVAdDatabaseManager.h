// The library's one SQLite connection and the serial queue that all database
// work runs on.
//
// The manager opens "database.sqlite" in the library's folder of the caches
// directory, versions the schema through PRAGMA user_version, switches
// foreign keys on and offers small statement operations that log their
// outcome and report through callbacks. It knows no table: the SQL belongs to
// its users.
//
// Thread safety:
// - create, sharedManager, storagePath, setStoragePath, vfsName,
//   setVFSName, databaseQueue, getDatabase and
//   initializeDatabaseWithCompletionCallback may be called from any thread;
//   their callbacks run on databaseQueue.
// - openDatabaseWithCallback may be called from any thread; it runs on
//   databaseQueue and returns once its callback has run.
// - The "Sync" operations run only on databaseQueue (inside a callback of
//   getDatabase, of an initialization or of another Sync operation), with a
//   handle handed to that code. A callback they "queue" runs in a later task
//   of databaseQueue: after the current task ends and before any task queued
//   after it.
//
// Ownership: the manager owns the queue and holds the current connection.
// Every handle handed out, and every statement prepared on it, shares
// ownership of its connection, so a connection is closed once the manager
// has moved on to a new one and the last queued statement on the old one has
// been finalized. Callbacks are stored until they have run (the callbacks of
// the latest initialization are kept to re-run it, see getDatabase).
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/dispatch/DispatchQueue.h"
#include "util/database/OVAdSQLStatement.h"

struct sqlite3;
struct sqlite3_stmt;

namespace plexora {

// A shared reference to an open connection; null when there is none.
using OVAdDatabaseHandle = std::shared_ptr<sqlite3>;

class OVAdDatabaseManager final : public std::enable_shared_from_this<OVAdDatabaseManager> {
 public:
  using HandleCallback = std::function<void(const OVAdDatabaseHandle&)>;
  using SuccessCallback = std::function<void(bool success)>;
  using StatementCallback = std::function<void(sqlite3_stmt* statement)>;
  using VersionCallback = std::function<void(int version)>;
  using DoneCallback = std::function<void()>;

  // The schema version the library writes.
  static constexpr int kSchemaVersion = 1;

  // The one manager of the process, created on first use, never destroyed.
  static std::shared_ptr<OVAdDatabaseManager> sharedManager();
  // A manager of its own (tests, or a store other than the shared one).
  static std::shared_ptr<OVAdDatabaseManager> create();

  ~OVAdDatabaseManager();
  OVAdDatabaseManager(const OVAdDatabaseManager&) = delete;
  OVAdDatabaseManager& operator=(const OVAdDatabaseManager&) = delete;

  // The database file: the path set last, or else, computed on every call,
  // the caches directory + "plexora/" + "database.sqlite".
  std::string storagePath() const;
  // An empty path returns to the computed default. Takes effect at the next
  // open.
  void setStoragePath(std::string path);

  // The registered SQLite VFS that opens the file; empty (the default) for
  // SQLite's own. Tests open through one that fails like a bad disk. Takes
  // effect at the next open.
  std::string vfsName() const;
  void setVFSName(std::string name);

  // Tests that give each test a caches directory of its own: after the work
  // queued so far, drops the connection and runs the latest initialization
  // again (when there was one), which opens storagePath() anew.
  void resetConnectionForTesting();

  const platform::DispatchQueuePtr& databaseQueue() const { return databaseQueue_; }

  // Opens the file, creating its folder first, and makes the connection the
  // current one (the previous one is released). A file that is not a
  // database (or is corrupt) is removed, with its journal files, and opened
  // once more when `retry` is set. The callback runs once, with the new
  // connection, or with null after a logged failure.
  void openDatabaseWithCallback(HandleCallback callback, bool retry = true);

  // Hands the current connection to the callback on databaseQueue. While an
  // initialization is running the callback waits for its completion. When
  // there is no connection because the last open failed, the latest
  // initialization is run again first; the callback gets null if that fails
  // too (and it was logged).
  void getDatabase(HandleCallback callback);

  // On databaseQueue: opens the database; reads its user_version and runs
  // the upgrade callback for a version below 1 (a new file) or the
  // downgrade callback for one above 1; writes version 1; switches foreign
  // keys on; then runs the completion. When the database cannot be opened,
  // or a file of another version cannot be marked as version 1, only the
  // completion runs, with null, and the connection is dropped. Each
  // initialization opens the file anew and replaces the current connection.
  void initializeDatabaseWithCompletionCallback(HandleCallback completion, HandleCallback downgrade,
                                                HandleCallback upgrade);

  // ---- Sync operations: databaseQueue only ----

  // Runs the statement once; success when it completes. The callback is
  // queued.
  void createTableSyncWithDatabase(const OVAdDatabaseHandle& database, const OVAdSQLStatement& statement,
                                   SuccessCallback callback);
  // "DROP TABLE" with the quoted name. The callback is queued.
  void dropTableSyncWithDatabase(const OVAdDatabaseHandle& database, const std::string& tableName,
                                 SuccessCallback callback);
  // Queues the callback with the prepared, bound, unstepped statement (null
  // when it could not be prepared); the statement is finalized after the
  // callback returns.
  void queryWithStatementSync(const OVAdSQLStatement& statement, const OVAdDatabaseHandle& database,
                              StatementCallback callback);
  // Queues the callback with one record per row for which `deserialize`
  // answers one (empty when the query could not be prepared).
  template <typename Record>
  void deserializeWithStatementSync(const OVAdSQLStatement& statement, const OVAdDatabaseHandle& database,
                                    std::function<std::optional<Record>(sqlite3_stmt*)> deserialize,
                                    std::function<void(std::vector<Record>)> callback);
  // Runs the statement once; the completion runs at once with whether it
  // completed (false also when it could not be prepared or bound).
  void insertWithStatementSync(const OVAdSQLStatement& statement, const OVAdDatabaseHandle& database,
                               SuccessCallback completion);
  // Runs the statement once and logs the outcome; the callback runs at once
  // whatever happened.
  void deleteWithStatementSync(const OVAdSQLStatement& statement, const OVAdDatabaseHandle& database,
                               DoneCallback callback);
  // "PRAGMA foreign_keys = ON"; the callback runs at once.
  void setForeignKeyEnforcementSyncWithDatabase(const OVAdDatabaseHandle& database, DoneCallback callback);
  // Queues the callback with the stored user_version (0 when unreadable).
  void queryUserVersionSyncWithDatabase(const OVAdDatabaseHandle& database, VersionCallback callback);
  // "PRAGMA user_version = <version>"; the callback runs at once.
  void setUserVersionSync(int version, const OVAdDatabaseHandle& database, DoneCallback callback);

 private:
  struct Initialization {
    HandleCallback completion;
    HandleCallback downgrade;
    HandleCallback upgrade;
  };

  OVAdDatabaseManager();

  void openOnQueue(const HandleCallback& callback, bool retry);
  void runInitialization(const Initialization& initialization);
  void finishInitialization(const Initialization& initialization, const OVAdDatabaseHandle& database);
  // Both log their outcome and answer whether the statement completed.
  bool runPragma(const OVAdDatabaseHandle& database, const std::string& sql, const char* successLine,
                 const char* failureLine);
  bool writeUserVersionSync(int version, const OVAdDatabaseHandle& database);
  // Steps once; true on a row.
  static bool stepToNextRow(sqlite3_stmt* statement);

  const platform::DispatchQueuePtr databaseQueue_;

  mutable std::mutex storagePathMutex_;
  std::string storagePath_;  // empty: the computed default
  std::string vfsName_;      // under storagePathMutex_

  // Touched on databaseQueue only.
  OVAdDatabaseHandle database_;
  std::optional<Initialization> latestInitialization_;
  int initializationsRunning_ = 0;
  std::vector<HandleCallback> waitingForInitialization_;
};

template <typename Record>
void OVAdDatabaseManager::deserializeWithStatementSync(
    const OVAdSQLStatement& statement, const OVAdDatabaseHandle& database,
    std::function<std::optional<Record>(sqlite3_stmt*)> deserialize,
    std::function<void(std::vector<Record>)> callback) {
  queryWithStatementSync(statement, database,
                         [deserialize = std::move(deserialize), callback = std::move(callback)](sqlite3_stmt* row) {
                           std::vector<Record> records;
                           while (row != nullptr && deserialize && stepToNextRow(row)) {
                             if (std::optional<Record> record = deserialize(row)) {
                               records.push_back(std::move(*record));
                             }
                           }
                           if (callback) {
                             callback(std::move(records));
                           }
                         });
}

}  // namespace plexora
