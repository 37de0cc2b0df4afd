// Opening the database file, and recovering from a file that is no
// database.
#include <sqlite3.h>

#include <string>

#include "platform/foundation/Files.h"
#include "util/OVAdDynamicFrameworkLoader.h"
#include "util/OVAdLogger.h"
#include "util/database/OVAdDatabaseManager.h"

namespace plexora {
namespace {

constexpr const char* kRetryingText = "Retrying...";
constexpr const char* kSevereErrorText = "This is a severe error that may impact the reliability of the Plexora SDK.";
constexpr const char* kNoConnectionMessage = "no database connection";

// A second process of the same application may hold the write lock for a
// moment; wait for it rather than failing the statement.
constexpr int kBusyTimeoutMilliseconds = 2000;

// Write-ahead logging with synchronous=NORMAL: a commit appends to the log
// without waiting for the disk, and the database stays consistent across a
// crash; only the last commits can be lost, and only on power loss, not when
// the process is killed. Events are small and frequent, so this is the
// balance between durability and not blocking the queue on every insert.
constexpr const char* kConnectionSetup = "PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL;";

// Files SQLite keeps beside the database. A log left behind by a removed
// database would be replayed into the new one, so they go with it.
constexpr const char* kCompanionSuffixes[] = {"-wal", "-shm", "-journal"};

struct OpenOutcome {
  OVAdDatabaseHandle handle;
  int result = SQLITE_OK;
  std::string message;
};

void closeConnection(sqlite3* connection) {
  if (connection != nullptr && ovadsdk_dfl_sqlite3_close(connection) != SQLITE_OK) {
    OV_LOG(kOVAdLogLevelError, "Could not close database connection. (%s)", ovadsdk_dfl_sqlite3_errmsg(connection));
  }
}

// Opening alone does not read the file, so the setup pragmas are what finds
// out whether it is a database at all. The plain path is passed, not a
// "file:" URI: the system SQLite does not read URIs unless told to.
OpenOutcome openConnection(const std::string& path, const std::string& vfsName) {
  sqlite3* connection = nullptr;
  OpenOutcome outcome;
  outcome.result = vfsName.empty() ? ovadsdk_dfl_sqlite3_open(path.c_str(), &connection)
                                   : sqlite3_open_v2(path.c_str(), &connection,
                                                     SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, vfsName.c_str());
  if (outcome.result == SQLITE_OK && connection != nullptr) {
    sqlite3_busy_timeout(connection, kBusyTimeoutMilliseconds);
    outcome.result = sqlite3_exec(connection, kConnectionSetup, nullptr, nullptr, nullptr);
    if (outcome.result == SQLITE_OK) {
      outcome.handle = OVAdDatabaseHandle(connection, closeConnection);
      return outcome;
    }
  }
  if (outcome.result == SQLITE_OK) {
    // No connection came back (out of memory, or SQLite is missing).
    outcome.result = SQLITE_CANTOPEN;
  }
  const char* message = connection != nullptr ? ovadsdk_dfl_sqlite3_errmsg(connection) : nullptr;
  outcome.message = message != nullptr ? message : kNoConnectionMessage;
  closeConnection(connection);
  return outcome;
}

// Only a file whose content is unusable is removed: a database that is
// merely locked or unreadable for now still holds events worth keeping.
bool isUnusableFile(int result) {
  const int primary = result & 0xff;
  return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT;
}

bool removeDatabaseFiles(const std::string& path) {
  for (const char* suffix : kCompanionSuffixes) {
    const std::string companion = path + suffix;
    if (platform::fileExists(companion)) {
      platform::removeItem(companion);
    }
  }
  return platform::removeItem(path);
}

std::string parentDirectory(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

void OVAdDatabaseManager::openDatabaseWithCallback(HandleCallback callback, bool retry) {
  if (databaseQueue_->isCurrent()) {
    openOnQueue(callback, retry);
  } else {
    databaseQueue_->sync([&] { openOnQueue(callback, retry); });
  }
}

void OVAdDatabaseManager::openOnQueue(const HandleCallback& callback, bool retry) {
  // The old connection closes as soon as no queued statement holds it.
  database_.reset();

  const std::string path = storagePath();
  const std::string directory = parentDirectory(path);
  if (!directory.empty()) {
    platform::createDirectories(directory);  // a failure shows in the open
  }

  OpenOutcome outcome = openConnection(path, vfsName());
  if (outcome.handle) {
    OV_LOG(kOVAdLogLevelDebug, "Successfully opened connection to database at %s", path.c_str());
    database_ = outcome.handle;
    if (callback) {
      callback(database_);
    }
    return;
  }

  const bool recover = retry && isUnusableFile(outcome.result);
  OV_LOG(kOVAdLogLevelError, "Could not open database! %s (%s)", recover ? kRetryingText : kSevereErrorText,
         outcome.message.c_str());
  if (!recover) {
    // No connection is kept, so the next use of the database tries again.
    if (callback) {
      callback(nullptr);
    }
    return;
  }

  OV_LOG(kOVAdLogLevelError, "Attempting to remove corrupt or invalid database...");
  if (removeDatabaseFiles(path)) {
    OV_LOG(kOVAdLogLevelError, "Corrupt or invalid database removed successfully. Recreating...");
  } else {
    OV_LOG(kOVAdLogLevelError, "Corrupt or invalid database could not be removed.");
  }
  openOnQueue(callback, false);
}

}  // namespace plexora
