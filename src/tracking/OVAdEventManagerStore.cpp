// The manager's tables: set-up, token lookup, inserts, reads and clean-up.
// Everything here runs on the database queue.
//
// Values (client tokens, identifiers) are always bound as parameters; a
// list of identifiers travels as one JSON array parameter, read back with
// json_each, so no list is too long for the statement's parameters.
#include <sqlite3.h>

#include <optional>
#include <unordered_map>
#include <utility>

#include "platform/value/Value.h"
#include "tracking/OVAdEventManager.h"
#include "util/OVAdLogger.h"
#include "util/OVAdUtility.h"
#include "util/OVAdDynamicFrameworkLoader.h"
#include "util/database/OVAdDatabaseColumns.h"
#include "util/database/OVAdPreparedStatement.h"

namespace plexora {

namespace {

constexpr const char* kTokensTable = "tokens";
constexpr const char* kEventsTable = "events";

constexpr const char* kTokenLookup = "SELECT * FROM tokens WHERE token = ?";
constexpr const char* kDeleteEvents = "DELETE FROM events WHERE eventId IN (SELECT value FROM json_each(?))";
constexpr const char* kOrphanedTokens =
    "SELECT * FROM tokens WHERE NOT EXISTS (SELECT * FROM events WHERE tokens.tokenId = events.tokenId)";
constexpr const char* kDeleteTokens = "DELETE FROM tokens WHERE tokenId IN (SELECT value FROM json_each(?))";
constexpr const char* kRenameEvent = "UPDATE events SET eventId = ? WHERE eventId = ?";
constexpr const char* kOrphanedEvents =
    "SELECT * FROM events WHERE NOT EXISTS (SELECT * FROM tokens WHERE tokens.tokenId = events.tokenId)";

constexpr const char* kTablesCount =
    "SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND name IN ('tokens', 'events')";
constexpr int kTableCount = 2;

constexpr const char* kBeginTransaction = "BEGIN";
constexpr const char* kCommitTransaction = "COMMIT";
constexpr const char* kRollbackTransaction = "ROLLBACK";

constexpr const char* kFinishedMessage = "Finished event database initialization!";
constexpr const char* kInsertedMessage = "Successfully inserted item.";
constexpr const char* kLookupFailedMessage = "SELECT statement could not be prepared. (%s)";
constexpr const char* kStatementFailedMessage = "Could not run %s. (%s)";
constexpr const char* kRenameFailedMessage = "Could not store the new identifier %s of event %s. (%s)";

// The identifiers as the JSON array that json_each reads.
std::string jsonArrayOf(const std::vector<std::string>& identifiers) {
  platform::Array array(identifiers.begin(), identifiers.end());
  return OVAdUtility::getJSONStringFromObject(platform::Value(std::move(array))).value_or("[]");
}

}  // namespace

void OVAdEventManager::setupDatabaseWithCallback(OVAdDatabaseManager::HandleCallback callback) {
  // The database manager keeps these blocks for as long as it lives (to run
  // them again after a failed open), so they hold the manager weakly.
  const std::weak_ptr<OVAdEventManager> weakSelf = weak_from_this();
  // Both schema changes mean the same: start over with empty tables.
  auto dropTables = [weakSelf](const OVAdDatabaseHandle& database) {
    if (const auto self = weakSelf.lock()) {
      self->environment_.databaseManager->dropTableSyncWithDatabase(database, kTokensTable, nullptr);
      self->environment_.databaseManager->dropTableSyncWithDatabase(database, kEventsTable, nullptr);
    }
  };
  environment_.databaseManager->initializeDatabaseWithCompletionCallback(
      [weakSelf, callback = std::move(callback)](const OVAdDatabaseHandle& database) {
        const auto self = weakSelf.lock();
        if (!self) {
          return;
        }
        // Both tables exist before any work that waited for the set-up runs.
        self->tablesMissing_ = true;
        self->createTablesSync(database);
        self->removeAllOrphanedTokensSyncWithDatabase(database, [self, database, callback] {
          self->removeAllOrphanedEventsSyncWithDatabase(database, [database, callback] {
            OV_LOG(kOVAdLogLevelDebug, kFinishedMessage);
            if (callback) {
              callback(database);
            }
          });
        });
      },
      dropTables, dropTables);
}

std::optional<std::string> OVAdEventManager::storedTokenIdSync(const std::string& token,
                                                               const OVAdDatabaseHandle& database) {
  std::string error;
  const OVAdPreparedStatement lookup = OVAdPrepareStatement(database, OVAdSQLStatement(kTokenLookup, {token}), &error);
  if (!lookup) {
    OV_LOG(kOVAdLogLevelError, kLookupFailedMessage, error.c_str());
  }
  while (lookup && ovadsdk_dfl_sqlite3_step(lookup.get()) == SQLITE_ROW) {
    if (std::optional<OVAdEventToken> stored = OVAdEventToken::deserializeFromSqlite(lookup.get())) {
      return stored->tokenId();
    }
  }
  return std::nullopt;
}

void OVAdEventManager::createTablesSync(const OVAdDatabaseHandle& database) {
  if (!tablesMissing_ || !database) {
    return;
  }
  // Creating a table that exists fails harmlessly.
  environment_.databaseManager->createTableSyncWithDatabase(database, tokenTableString(), nullptr);
  environment_.databaseManager->createTableSyncWithDatabase(database, eventTableString(), nullptr);
  std::string error;
  const OVAdPreparedStatement count = OVAdPrepareStatement(database, kTablesCount, &error);
  tablesMissing_ = !(count && ovadsdk_dfl_sqlite3_step(count.get()) == SQLITE_ROW &&
                     ovadsdk_dfl_sqlite3_column_int(count.get(), 0) == kTableCount);
}

void OVAdEventManager::tokenIdForTokenSync(const std::string& token, const OVAdDatabaseHandle& database,
                                           TokenIdCallback callback) {
  // Read in this task, not a later one, so the caller can insert its event
  // before any clean-up runs.
  if (const std::optional<std::string> stored = storedTokenIdSync(token, database)) {
    if (callback) {
      callback(*stored);
    }
    return;
  }
  const OVAdEventToken newToken(token);
  environment_.databaseManager->insertWithStatementSync(newToken.insertStatement(), database, [&](bool) {
    if (callback) {
      callback(newToken.tokenId());
    }
  });
}

void OVAdEventManager::storePendingLogsSync(const OVAdDatabaseHandle& database) {
  std::vector<PendingLog> logs;
  {
    std::lock_guard lock(pendingMutex_);
    logs.swap(pendingLogs_);
    storeScheduled_ = false;
  }
  createTablesSync(database);
  std::vector<OVAdEvent> events = storeTogetherSync(logs, database);
  if (events.empty()) {
    // The one transaction failed and was undone as a whole: no row of it
    // is stored, although its statements ran. Each event is stored again on
    // its own, so one bad write costs one event and not the whole group,
    // and each that cannot be stored gets its own failure line.
    events = storeEachAloneSync(logs, database);
  }
  // Failed inserts were logged; the decisions and callbacks come all the
  // same, once the events are committed.
  for (std::size_t i = 0; i < logs.size(); ++i) {
    takeDispatchDecision(events[i]);
    if (logs[i].callback) {
      logs[i].callback();
    }
  }
}

std::vector<OVAdEvent> OVAdEventManager::storeTogetherSync(std::vector<PendingLog>& logs,
                                                           const OVAdDatabaseHandle& database) {
  // One transaction: one write to the database's log for all the events
  // instead of one each, and a new token row commits with its first event.
  // Nothing is reported before the commit: until then no row is stored.
  if (logs.empty() || !executeSync(kBeginTransaction, database)) {
    return {};
  }
  // A statement that fails may undo the whole transaction; nothing may then
  // run outside it and commit on its own, or it would be stored twice.
  auto insertInTransaction = [&](const OVAdSQLStatement& statement) {
    return sqlite3_get_autocommit(database.get()) == 0 && stepQuietlySync(statement, database);
  };
  std::unordered_map<std::string, std::string> tokenIds;
  std::vector<OVAdEvent> events;
  std::size_t rowsMade = 0;
  bool failed = false;
  for (PendingLog& log : logs) {
    auto known = tokenIds.find(log.token);
    if (known == tokenIds.end()) {
      std::optional<std::string> tokenId = storedTokenIdSync(log.token, database);
      if (!tokenId) {
        const OVAdEventToken newToken(log.token);
        if (!insertInTransaction(newToken.insertStatement())) {
          failed = true;
          break;
        }
        ++rowsMade;
        tokenId = newToken.tokenId();
      }
      known = tokenIds.emplace(log.token, *tokenId).first;
    }
    events.emplace_back(std::move(log.type), log.priority, known->second, sessionId_, sessionStartTime_,
                        std::move(log.extraData));
    if (!insertInTransaction(events.back().insertStatement())) {
      failed = true;
      break;
    }
    ++rowsMade;
  }
  if (!failed && executeSync(kCommitTransaction, database)) {
    for (std::size_t row = 0; row < rowsMade; ++row) {
      OV_LOG(kOVAdLogLevelDebug, kInsertedMessage);
    }
    return events;
  }
  // A failed write may already have undone the transaction; never leave it
  // open for the tasks that follow.
  if (sqlite3_get_autocommit(database.get()) == 0) {
    executeSync(kRollbackTransaction, database);
  }
  // The logs get back what the events took, for the next attempt.
  for (std::size_t i = 0; i < events.size(); ++i) {
    logs[i].type = events[i].type();
    logs[i].extraData = events[i].extraData();
  }
  return {};
}

std::vector<OVAdEvent> OVAdEventManager::storeEachAloneSync(std::vector<PendingLog>& logs,
                                                            const OVAdDatabaseHandle& database) {
  std::vector<OVAdEvent> events;
  events.reserve(logs.size());
  for (PendingLog& log : logs) {
    std::string tokenId;
    tokenIdForTokenSync(log.token, database, [&](const std::string& identifier) { tokenId = identifier; });
    events.emplace_back(std::move(log.type), log.priority, std::move(tokenId), sessionId_, sessionStartTime_,
                        std::move(log.extraData));
    insertEvent(events.back(), database, nullptr);
  }
  return events;
}

bool OVAdEventManager::stepQuietlySync(const OVAdSQLStatement& statement, const OVAdDatabaseHandle& database) {
  std::string error;
  const OVAdPreparedStatement prepared = OVAdPrepareStatement(database, statement, &error);
  return prepared && ovadsdk_dfl_sqlite3_step(prepared.get()) == SQLITE_DONE;
}

bool OVAdEventManager::executeSync(const char* sql, const OVAdDatabaseHandle& database) {
  std::string error;
  const OVAdPreparedStatement statement = OVAdPrepareStatement(database, sql, &error);
  if (statement && ovadsdk_dfl_sqlite3_step(statement.get()) == SQLITE_DONE) {
    return true;
  }
  OV_LOG(kOVAdLogLevelError, kStatementFailedMessage, sql,
         statement ? OVAdDatabaseErrorMessage(database).c_str() : error.c_str());
  return false;
}

void OVAdEventManager::insertEvent(const OVAdEvent& event, const OVAdDatabaseHandle& database,
                                   OVAdDatabaseManager::SuccessCallback completion) {
  environment_.databaseManager->insertWithStatementSync(event.insertStatement(), database, std::move(completion));
}

bool OVAdEventManager::writeBackEventIdSync(const OVAdEvent& event, const OVAdDatabaseHandle& database) {
  std::string error;
  const OVAdPreparedStatement rename = OVAdPrepareStatement(
      database, OVAdSQLStatement(kRenameEvent, {event.eventId(), event.storedEventId().value_or("")}), &error);
  if (rename && ovadsdk_dfl_sqlite3_step(rename.get()) == SQLITE_DONE) {
    return true;
  }
  OV_LOG(kOVAdLogLevelError, kRenameFailedMessage, event.eventId().c_str(), event.storedEventId().value_or("").c_str(),
         rename ? OVAdDatabaseErrorMessage(database).c_str() : error.c_str());
  return false;
}

void OVAdEventManager::cleanupEventsSync(const std::vector<std::string>& eventIds, const OVAdDatabaseHandle& database) {
  if (eventIds.empty()) {
    return;
  }
  environment_.databaseManager->deleteWithStatementSync(OVAdSQLStatement(kDeleteEvents, {jsonArrayOf(eventIds)}),
                                                        database, nullptr);
  removeAllOrphanedTokensSyncWithDatabase(database, nullptr);
}

void OVAdEventManager::removeAllOrphanedTokensSyncWithDatabase(const OVAdDatabaseHandle& database, Callback callback) {
  removeRowsSync(kOrphanedTokens, kDeleteTokens, database, std::move(callback));
}

void OVAdEventManager::removeAllOrphanedEventsSyncWithDatabase(const OVAdDatabaseHandle& database, Callback callback) {
  removeRowsSync(kOrphanedEvents, kDeleteEvents, database, std::move(callback));
}

void OVAdEventManager::removeRowsSync(const char* selectStatement, const char* deleteStatement,
                                      const OVAdDatabaseHandle& database, Callback callback) {
  // The rows are read and deleted in one task, so nothing can come to
  // refer to a row between the two.
  environment_.databaseManager->deserializeWithStatementSync<std::string>(
      selectStatement, database, [](sqlite3_stmt* row) { return OVAdColumnText(row, 0); },
      [self = shared_from_this(), deleteStatement, database,
       callback = std::move(callback)](std::vector<std::string> identifiers) {
        if (!identifiers.empty()) {
          self->environment_.databaseManager->deleteWithStatementSync(
              OVAdSQLStatement(deleteStatement, {jsonArrayOf(identifiers)}), database, nullptr);
        }
        if (callback) {
          callback();
        }
      });
}

void OVAdEventManager::queryTokensSyncWithStatement(const OVAdSQLStatement& statement,
                                                    const OVAdDatabaseHandle& database, TokensCallback callback) {
  environment_.databaseManager->deserializeWithStatementSync<OVAdEventToken>(
      statement, database, OVAdEventToken::deserializeFromSqlite, std::move(callback));
}

}  // namespace plexora
