// The process that EventPipelineKill_test starts and kills: one launch of
// the library's event pipeline on a given database file.
//
//   event_pipeline_child run   DIR LOGGING_BASE_URL GENERATION
//   event_pipeline_child run-on-failing-disk DIR LOGGING_BASE_URL GENERATION
//   event_pipeline_child drain DIR LOGGING_BASE_URL GENERATION
//
// DIR holds the database ("database.sqlite"), the settings and the report
// ("committed.txt"). "run" logs events without end from a thread of their
// own while the main thread moves a manual clock, so batches go out and
// answers come back all the time, until the test kills the process. Once
// the store first holds an event it makes the file "stored-GENERATION".
// Each event carries {"seq": "GENERATION-N"} as its data, and N is written
// to the report, as one line "GENERATION-N", once the log call's callback
// has run: the event is committed to the store by then.
// "run-on-failing-disk" is "run" on a disk whose writes, syncs and reads
// fail now and then; a callback then no longer means the event was stored,
// so its report says nothing. "drain" logs
// nothing and lets the dispatch timer run until the store is empty, then
// exits 0 (1 when it never empties).
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <thread>

#include "../../support/FaultInjectingVfs.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/MainLoop.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/UserDefaults.h"
#include "server/OVAdURLSession.h"
#include "tracking/OVAdEventManager.h"
#include "util/OVAdConfigManager.h"
#include "util/database/OVAdDatabaseManager.h"

namespace {

using plexora::OVAdEventManager;

constexpr const char* kDatabaseFile = "/database.sqlite";
constexpr const char* kReportFile = "/committed.txt";
constexpr const char* kDefaultsFile = "/UserDefaults.plist";
constexpr const char* kUserAgent = "EventPipelineChild/1.0";
// Small batches while running, so a kill often falls between two of them;
// the drain takes everything at once.
constexpr int kEventLimit = 20;
constexpr int kBurst = 6;
constexpr int kTokens = 7;
constexpr double kRunStep = 0.25;
constexpr int kDrainTicks = 40;
constexpr double kNetworkWaitSeconds = 5.0;
// How often each kind of operation fails on the failing disk.
constexpr double kWriteFaultRate = 0.03;
constexpr double kSyncFaultRate = 0.1;
constexpr double kReadFaultRate = 0.02;

std::size_t storedEventCount(const std::string& databasePath) {
  sqlite3* connection = nullptr;
  std::size_t count = 0;
  if (sqlite3_open(databasePath.c_str(), &connection) == SQLITE_OK) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(connection, "SELECT COUNT(*) FROM events", -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW) {
      count = static_cast<std::size_t>(sqlite3_column_int64(statement, 0));
    }
    sqlite3_finalize(statement);
  }
  sqlite3_close(connection);
  return count;
}

void waitForAnswers(const OVAdEventManager& manager) {
  plexora::platform::MainLoop::instance().runUntil([&] { return manager.eventsInTransit().empty(); },
                                                   kNetworkWaitSeconds);
  plexora::platform::DispatchQueue::settle(kNetworkWaitSeconds);
}

[[noreturn]] void run(const std::shared_ptr<OVAdEventManager>& manager, plexora::platform::ManualClock& clock,
                      const std::string& directory, const std::string& generation) {
  const int report = ::open((directory + kReportFile).c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  const std::string databasePath = directory + kDatabaseFile;
  // The logging thread logs one burst per step of the clock, so the store
  // has idle moments in which the clock's settling ends and dispatches run.
  std::atomic<int> steps{0};
  std::thread logger([&] {
    int n = 0;
    for (int seen = 0;; seen = steps.load()) {
      while (steps.load() == seen) {
        std::this_thread::sleep_for(std::chrono::microseconds(100));
      }
      for (int i = 0; i < kBurst; ++i, ++n) {
        const std::string seq = generation + "-" + std::to_string(n);
        const bool soon = n % 4 != 3;
        manager->logEventOfType(soon ? "impression" : "native_view", soon ? 0 : 1,
                                "CT-" + std::to_string(n % kTokens), plexora::platform::Dictionary{{"seq", seq}},
                                [report, line = seq + "\n"] {
                                  // One write per line: a kill never leaves half of one.
                                  [[maybe_unused]] const ssize_t written = ::write(report, line.data(), line.size());
                                });
      }
    }
  });
  bool storedMarkMade = false;
  for (;; ++steps) {
    clock.advance(kRunStep);
    plexora::platform::MainLoop::instance().runOnce(0.002);
    // The test times its kill from this mark: however slow the machine,
    // the kill then falls where there is something to lose.
    if (!storedMarkMade && storedEventCount(databasePath) > 0) {
      ::close(::open((directory + "/stored-" + generation).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
      storedMarkMade = true;
    }
  }
}

int drain(const std::shared_ptr<OVAdEventManager>& manager, plexora::platform::ManualClock& clock,
          const std::string& databasePath) {
  for (int tick = 0; tick < kDrainTicks; ++tick) {
    waitForAnswers(*manager);
    if (storedEventCount(databasePath) == 0) {
      return 0;
    }
    // The timer's dispatch, and the retries that its answers ask for.
    clock.advance(OVAdEventManager::kDispatchInterval);
  }
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s run|run-on-failing-disk|drain DIR LOGGING_BASE_URL GENERATION\n", argv[0]);
    return 2;
  }
  const std::string mode = argv[1];
  const std::string directory = argv[2];
  const std::string databasePath = directory + kDatabaseFile;

  plexora::platform::setUserDefaultsPath(directory + kDefaultsFile);
  plexora::platform::UserDefaults::resetStandardUserDefaults(directory + kDefaultsFile);
  auto clock = std::make_shared<plexora::platform::ManualClock>();
  plexora::platform::Clock::setCurrent(clock);

  plexora::OVAdEventManagerEnvironment environment;
  environment.databaseManager = plexora::OVAdDatabaseManager::create();
  environment.databaseManager->setStoragePath(databasePath);
  const bool failingDisk = mode == "run-on-failing-disk";
  if (failingDisk) {
    using plexora::testing::DiskFault;
    auto& vfs = plexora::testing::FaultInjectingVfs::install();
    const unsigned seed = std::random_device{}();
    vfs.failRandomly(DiskFault::FullOnWrite, kWriteFaultRate, seed);
    vfs.failRandomly(DiskFault::ShortWrite, kWriteFaultRate, seed);
    vfs.failRandomly(DiskFault::IOErrorOnSync, kSyncFaultRate, seed);
    vfs.failRandomly(DiskFault::IOErrorOnRead, kReadFaultRate, seed);
    environment.databaseManager->setVFSName(plexora::testing::FaultInjectingVfs::kName);
  }
  environment.configManager = plexora::OVAdConfigManager::create(directory);
  if (mode == "run" || failingDisk) {
    environment.configManager->setObject(plexora::platform::Value(kEventLimit), "unified_logging_event_limit");
  }
  environment.urlSession =
      plexora::OVAdURLSession::create([](auto answer) { answer(std::string(kUserAgent)); });
  environment.loggingBaseURL = argv[3];
  const auto manager = OVAdEventManager::create(std::move(environment));

  if (mode == "run" || failingDisk) {
    run(manager, *clock, directory, argv[4]);
  }
  if (mode == "drain") {
    return drain(manager, *clock, databasePath);
  }
  return 2;
}
