#include "util/database/OVAdDatabaseManager.h"

#include "platform/foundation/Paths.h"
#include "util/OVAdLogger.h"

namespace plexora {
namespace {

constexpr const char* kDatabaseQueueLabel = "com.plexora.ads.database";
constexpr const char* kLibraryFolderName = "plexora/";
constexpr const char* kDatabaseFileName = "database.sqlite";

}  // namespace

std::shared_ptr<OVAdDatabaseManager> OVAdDatabaseManager::sharedManager() {
  // Never destroyed: queued database work may outlive static destruction.
  static const auto* const manager = new std::shared_ptr<OVAdDatabaseManager>(create());
  return *manager;
}

std::shared_ptr<OVAdDatabaseManager> OVAdDatabaseManager::create() {
  return std::shared_ptr<OVAdDatabaseManager>(new OVAdDatabaseManager());
}

OVAdDatabaseManager::OVAdDatabaseManager()
    : databaseQueue_(platform::DispatchQueue::createSerial(kDatabaseQueueLabel)) {}

OVAdDatabaseManager::~OVAdDatabaseManager() = default;

std::string OVAdDatabaseManager::storagePath() const {
  {
    std::lock_guard<std::mutex> lock(storagePathMutex_);
    if (!storagePath_.empty()) {
      return storagePath_;
    }
  }
  std::string directory = platform::cachesDirectory();
  if (!directory.empty() && directory.back() != '/') {
    directory += '/';
  }
  return directory + kLibraryFolderName + kDatabaseFileName;
}

void OVAdDatabaseManager::setStoragePath(std::string path) {
  std::lock_guard<std::mutex> lock(storagePathMutex_);
  storagePath_ = std::move(path);
}

std::string OVAdDatabaseManager::vfsName() const {
  std::lock_guard<std::mutex> lock(storagePathMutex_);
  return vfsName_;
}

void OVAdDatabaseManager::setVFSName(std::string name) {
  std::lock_guard<std::mutex> lock(storagePathMutex_);
  vfsName_ = std::move(name);
}

void OVAdDatabaseManager::resetConnectionForTesting() {
  databaseQueue_->sync([this] {
    database_.reset();
    if (latestInitialization_) {
      runInitialization(*latestInitialization_);
    }
  });
}

void OVAdDatabaseManager::getDatabase(HandleCallback callback) {
  databaseQueue_->async([self = shared_from_this(), callback = std::move(callback)] {
    if (self->initializationsRunning_ > 0) {
      self->waitingForInitialization_.push_back(callback);
      return;
    }
    if (!self->database_ && self->latestInitialization_) {
      // The last open failed: try again rather than failing every later
      // statement on a connection that does not exist.
      self->waitingForInitialization_.push_back(callback);
      self->runInitialization(*self->latestInitialization_);
      return;
    }
    if (callback) {
      callback(self->database_);
    }
  });
}

void OVAdDatabaseManager::initializeDatabaseWithCompletionCallback(HandleCallback completion,
                                                                   HandleCallback downgrade,
                                                                   HandleCallback upgrade) {
  Initialization initialization{std::move(completion), std::move(downgrade), std::move(upgrade)};
  databaseQueue_->async([self = shared_from_this(), initialization = std::move(initialization)] {
    self->latestInitialization_ = initialization;
    self->runInitialization(initialization);
  });
}

void OVAdDatabaseManager::runInitialization(const Initialization& initialization) {
  ++initializationsRunning_;
  openOnQueue(
      [self = shared_from_this(), initialization](const OVAdDatabaseHandle& database) {
        if (!database) {
          self->finishInitialization(initialization, nullptr);
          return;
        }
        self->queryUserVersionSyncWithDatabase(database, [self, initialization, database](int version) {
          if (version > kSchemaVersion) {
            if (initialization.downgrade) {
              initialization.downgrade(database);
            }
          } else if (version < kSchemaVersion) {
            if (initialization.upgrade) {
              initialization.upgrade(database);
            }
          }
          if (!self->writeUserVersionSync(kSchemaVersion, database) && version != kSchemaVersion) {
            // The file would keep its old version under the schema that the
            // completion is about to create, and the next launch would take
            // it for a new file and drop every table. Nothing is built on it
            // now; the next use of the database runs the initialization
            // again.
            self->database_.reset();
            self->finishInitialization(initialization, nullptr);
            return;
          }
          self->setForeignKeyEnforcementSyncWithDatabase(database, nullptr);
          OV_LOG(kOVAdLogLevelDebug, "Finished database initialization!");
          self->finishInitialization(initialization, database);
        });
      },
      true);
}

void OVAdDatabaseManager::finishInitialization(const Initialization& initialization,
                                               const OVAdDatabaseHandle& database) {
  if (initialization.completion) {
    initialization.completion(database);
  }
  if (--initializationsRunning_ > 0) {
    return;
  }
  // Work that asked for the database meanwhile runs now, against tables
  // that the completion has created.
  std::vector<HandleCallback> waiting;
  waiting.swap(waitingForInitialization_);
  for (const HandleCallback& callback : waiting) {
    if (callback) {
      callback(database_);
    }
  }
}

}  // namespace plexora
