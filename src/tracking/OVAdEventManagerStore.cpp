// The manager's tables: set-up, token lookup, inserts, reads and clean-up.
// Everything here runs on the database queue.
//
// Values (client tokens, identifiers) are always bound as parameters; a
// list of identifiers travels as one JSON array parameter, read back with
// json_each, so no list is too long for the statement's parameters.
#include <utility>

#include "platform/value/Value.h"
#include "tracking/OVAdEventManager.h"
#include "util/OVAdLogger.h"
#include "util/OVAdUtility.h"
#include "util/database/OVAdDatabaseColumns.h"

namespace plexora {

namespace {

constexpr const char* kTokensTable = "tokens";
constexpr const char* kEventsTable = "events";

constexpr const char* kTokenLookup = "SELECT * FROM tokens WHERE token = ?";
constexpr const char* kDeleteEvents = "DELETE FROM events WHERE eventId IN (SELECT value FROM json_each(?))";
constexpr const char* kOrphanedTokens =
    "SELECT * FROM tokens WHERE NOT EXISTS (SELECT * FROM events WHERE tokens.tokenId = events.tokenId)";
constexpr const char* kDeleteTokens = "DELETE FROM tokens WHERE tokenId IN (SELECT value FROM json_each(?))";
constexpr const char* kOrphanedEvents =
    "SELECT * FROM events WHERE NOT EXISTS (SELECT * FROM tokens WHERE tokens.tokenId = events.tokenId)";

constexpr const char* kFinishedMessage = "Finished event database initialization!";

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
        // Creating a table that exists fails harmlessly.
        self->environment_.databaseManager->createTableSyncWithDatabase(database, tokenTableString(), nullptr);
        self->environment_.databaseManager->createTableSyncWithDatabase(database, eventTableString(), nullptr);
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

void OVAdEventManager::tokenIdForTokenSync(const std::string& token, const OVAdDatabaseHandle& database,
                                           TokenIdCallback callback) {
  queryTokensSyncWithStatement(
      OVAdSQLStatement(kTokenLookup, {token}), database,
      [self = shared_from_this(), token, database, callback = std::move(callback)](std::vector<OVAdEventToken> tokens) {
        if (!tokens.empty()) {
          if (callback) {
            callback(tokens.front().tokenId());
          }
          return;
        }
        const OVAdEventToken newToken(token);
        self->environment_.databaseManager->insertWithStatementSync(newToken.insertStatement(), database,
                                                                    [&](bool) {
                                                                      if (callback) {
                                                                        callback(newToken.tokenId());
                                                                      }
                                                                    });
      });
}

void OVAdEventManager::insertEvent(const OVAdEvent& event, const OVAdDatabaseHandle& database,
                                   OVAdDatabaseManager::SuccessCallback completion) {
  environment_.databaseManager->insertWithStatementSync(event.insertStatement(), database, std::move(completion));
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

void OVAdEventManager::queryEventsSyncWithStatement(const OVAdSQLStatement& statement,
                                                    const OVAdDatabaseHandle& database, EventsCallback callback) {
  environment_.databaseManager->deserializeWithStatementSync<OVAdEvent>(
      statement, database, OVAdEvent::deserializeFromSqlite, std::move(callback));
}

void OVAdEventManager::queryTokensSyncWithStatement(const OVAdSQLStatement& statement,
                                                    const OVAdDatabaseHandle& database, TokensCallback callback) {
  environment_.databaseManager->deserializeWithStatementSync<OVAdEventToken>(
      statement, database, OVAdEventToken::deserializeFromSqlite, std::move(callback));
}

}  // namespace plexora
