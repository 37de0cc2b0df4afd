// Helpers for tests of the database manager and of the records stored
// through it: a manager on a file in a per-test directory, a way to run code
// on its queue and wait for everything it queued, and a capture of the
// library's log lines.
#pragma once

#include <functional>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "platform/dispatch/DispatchQueue.h"
#include "support/TempDir.h"
#include "util/RuntimeTestSupport.h"
#include "util/database/OVAdDatabaseManager.h"

namespace plexora::testing {

// Runs `work` with the manager's current connection on its queue and returns
// once that and everything it queued in turn has run.
inline void onDatabase(OVAdDatabaseManager& manager,
                       const std::function<void(const OVAdDatabaseHandle&)>& work) {
  std::promise<void> ran;
  manager.getDatabase([&](const OVAdDatabaseHandle& database) {
    work(database);
    ran.set_value();
  });
  ran.get_future().wait();
  platform::DispatchQueue::settle();
}

// Initializes the manager and waits for the whole initialization. Answers
// the handle that the first completion received. The manager keeps the
// callbacks to run them again after a failed open, so they hold nothing of
// this frame.
inline OVAdDatabaseHandle initialize(OVAdDatabaseManager& manager,
                                     OVAdDatabaseManager::HandleCallback completion = nullptr,
                                     OVAdDatabaseManager::HandleCallback downgrade = nullptr,
                                     OVAdDatabaseManager::HandleCallback upgrade = nullptr) {
  auto completed = std::make_shared<std::promise<OVAdDatabaseHandle>>();
  auto first = std::make_shared<std::once_flag>();
  std::future<OVAdDatabaseHandle> handle = completed->get_future();
  manager.initializeDatabaseWithCompletionCallback(
      [completion = std::move(completion), completed, first](const OVAdDatabaseHandle& database) {
        if (completion) {
          completion(database);
        }
        std::call_once(*first, [&] { completed->set_value(database); });
      },
      std::move(downgrade), std::move(upgrade));
  OVAdDatabaseHandle result = handle.get();
  platform::DispatchQueue::settle();
  return result;
}

// A manager whose file lies in a directory of its own.
class DatabaseTest {
 protected:
  DatabaseTest() : manager_(OVAdDatabaseManager::create()) { manager_->setStoragePath(databasePath()); }

  std::string databasePath() const { return (directory_ / "plexora" / "database.sqlite").string(); }

  TempDir directory_;
  std::shared_ptr<OVAdDatabaseManager> manager_;
};

// Every log line written while it lives, at log level 6, with user defaults
// in a directory of their own.
using LogCapture = RuntimeLogCapture;

}  // namespace plexora::testing
