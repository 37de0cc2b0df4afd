// The statement operations. Each one's callback timing is part of its
// contract (see the header): the event manager orders its work by it.
#include <sqlite3.h>

#include <string>

#include "util/OVAdDynamicFrameworkLoader.h"
#include "util/OVAdLogger.h"
#include "util/database/OVAdDatabaseManager.h"
#include "util/database/OVAdPreparedStatement.h"

namespace plexora {
namespace {

constexpr const char* kDropTablePrefix = "DROP TABLE ";
constexpr const char* kForeignKeysStatement = "PRAGMA foreign_keys = ON";
constexpr const char* kUserVersionQuery = "PRAGMA user_version;";
constexpr const char* kSetUserVersionPrefix = "PRAGMA user_version = ";

// An SQL identifier in double quotes, inner quotes doubled, so a table name
// can never change the statement around it.
std::string quotedIdentifier(const std::string& name) {
  std::string quoted = "\"";
  for (char c : name) {
    quoted += c;
    if (c == '"') {
      quoted += '"';
    }
  }
  return quoted + "\"";
}

int step(const OVAdPreparedStatement& statement) { return ovadsdk_dfl_sqlite3_step(statement.get()); }

}  // namespace

bool OVAdDatabaseManager::stepToNextRow(sqlite3_stmt* statement) {
  return ovadsdk_dfl_sqlite3_step(statement) == SQLITE_ROW;
}

void OVAdDatabaseManager::createTableSyncWithDatabase(const OVAdDatabaseHandle& database,
                                                      const OVAdSQLStatement& statement, SuccessCallback callback) {
  std::string error;
  OVAdPreparedStatement prepared = OVAdPrepareStatement(database, statement, &error);
  bool success = false;
  if (!prepared) {
    OV_LOG(kOVAdLogLevelWarn, "CREATE TABLE statement could not be prepared. (%s)", error.c_str());
  } else if (step(prepared) == SQLITE_DONE) {
    success = true;
    OV_LOG(kOVAdLogLevelDebug, "Table created.");
  } else {
    OV_LOG(kOVAdLogLevelError, "Table could not be created. (%s)", OVAdDatabaseErrorMessage(database).c_str());
  }
  databaseQueue_->async([callback = std::move(callback), success, prepared]() mutable {
    if (callback) {
      callback(success);
    }
    prepared.reset();
  });
}

void OVAdDatabaseManager::dropTableSyncWithDatabase(const OVAdDatabaseHandle& database, const std::string& tableName,
                                                    SuccessCallback callback) {
  std::string error;
  OVAdPreparedStatement prepared =
      OVAdPrepareStatement(database, std::string(kDropTablePrefix) + quotedIdentifier(tableName), &error);
  bool success = false;
  if (!prepared) {
    OV_LOG(kOVAdLogLevelWarn, "DROP TABLE statement could not be prepared. (%s)", error.c_str());
  } else if (step(prepared) == SQLITE_DONE) {
    success = true;
    OV_LOG(kOVAdLogLevelDebug, "Table dropped.");
  } else {
    OV_LOG(kOVAdLogLevelError, "Table could not be dropped. (%s)", OVAdDatabaseErrorMessage(database).c_str());
  }
  databaseQueue_->async([callback = std::move(callback), success, prepared]() mutable {
    if (callback) {
      callback(success);
    }
    prepared.reset();
  });
}

void OVAdDatabaseManager::queryWithStatementSync(const OVAdSQLStatement& statement,
                                                 const OVAdDatabaseHandle& database, StatementCallback callback) {
  std::string error;
  OVAdPreparedStatement prepared = OVAdPrepareStatement(database, statement, &error);
  if (!prepared) {
    OV_LOG(kOVAdLogLevelError, "SELECT statement could not be prepared. (%s)", error.c_str());
  }
  databaseQueue_->async([callback = std::move(callback), prepared]() mutable {
    if (callback) {
      callback(prepared.get());
    }
    prepared.reset();
  });
}

void OVAdDatabaseManager::insertWithStatementSync(const OVAdSQLStatement& statement,
                                                  const OVAdDatabaseHandle& database, SuccessCallback completion) {
  std::string error;
  OVAdPreparedStatement prepared = OVAdPrepareStatement(database, statement, &error);
  bool success = false;
  if (!prepared) {
    OV_LOG(kOVAdLogLevelError, "INSERT statement could not be prepared. (%s)", error.c_str());
  } else if (step(prepared) == SQLITE_DONE) {
    success = true;
    OV_LOG(kOVAdLogLevelDebug, "Successfully inserted item.");
  } else {
    OV_LOG(kOVAdLogLevelError, "Could not insert item. %s (%s)", statement.sql.c_str(),
           OVAdDatabaseErrorMessage(database).c_str());
  }
  if (completion) {
    completion(success);
  }
}

void OVAdDatabaseManager::deleteWithStatementSync(const OVAdSQLStatement& statement,
                                                  const OVAdDatabaseHandle& database, DoneCallback callback) {
  std::string error;
  OVAdPreparedStatement prepared = OVAdPrepareStatement(database, statement, &error);
  if (!prepared) {
    OV_LOG(kOVAdLogLevelError, "DELETE statement could not be prepared. (%s)", error.c_str());
  } else if (step(prepared) == SQLITE_DONE) {
    OV_LOG(kOVAdLogLevelDebug, "Successfully deleted item.");
  } else {
    OV_LOG(kOVAdLogLevelError, "Could not delete item. (%s)", OVAdDatabaseErrorMessage(database).c_str());
  }
  if (callback) {
    callback();
  }
}

void OVAdDatabaseManager::setForeignKeyEnforcementSyncWithDatabase(const OVAdDatabaseHandle& database,
                                                                   DoneCallback callback) {
  runPragma(database, kForeignKeysStatement, "Successfully changed foreign_keys.",
            "Could not change foreign_keys.");
  if (callback) {
    callback();
  }
}

void OVAdDatabaseManager::setUserVersionSync(int version, const OVAdDatabaseHandle& database,
                                             DoneCallback callback) {
  writeUserVersionSync(version, database);
  if (callback) {
    callback();
  }
}

bool OVAdDatabaseManager::writeUserVersionSync(int version, const OVAdDatabaseHandle& database) {
  return runPragma(database, kSetUserVersionPrefix + std::to_string(version), "Successfully changed user_version.",
                   "Could not change user_version.");
}

bool OVAdDatabaseManager::runPragma(const OVAdDatabaseHandle& database, const std::string& sql,
                                    const char* successLine, const char* failureLine) {
  std::string error;
  OVAdPreparedStatement prepared = OVAdPrepareStatement(database, sql, &error);
  if (!prepared) {
    OV_LOG(kOVAdLogLevelError, "PRAGMA statement could not be prepared. (%s)", error.c_str());
    return false;
  }
  if (step(prepared) == SQLITE_DONE) {
    OV_LOG(kOVAdLogLevelDebug, "%s", successLine);
    return true;
  }
  OV_LOG(kOVAdLogLevelError, "%s (%s)", failureLine, OVAdDatabaseErrorMessage(database).c_str());
  return false;
}

void OVAdDatabaseManager::queryUserVersionSyncWithDatabase(const OVAdDatabaseHandle& database,
                                                           VersionCallback callback) {
  std::string error;
  OVAdPreparedStatement prepared = OVAdPrepareStatement(database, kUserVersionQuery, &error);
  if (!prepared) {
    OV_LOG(kOVAdLogLevelError, "PRAGMA statement could not be prepared. (%s)", error.c_str());
  }
  databaseQueue_->async([callback = std::move(callback), prepared]() mutable {
    int version = 0;
    while (prepared && stepToNextRow(prepared.get())) {
      version = ovadsdk_dfl_sqlite3_column_int(prepared.get(), 0);
      OV_LOG(kOVAdLogLevelDebug, "Current database version: %d", version);
    }
    if (callback) {
      callback(version);
    }
    prepared.reset();
  });
}

}  // namespace plexora
