// The event store on a failing disk: a manager opens its database through
// the fault-injecting VFS while the test reads the file through SQLite's
// own. Whatever fails, the file stays whole, an event that could not be
// stored says so in the log, every event committed before the fault reaches
// the ad server's logging endpoint once the disk works again, and the next
// launch opens the file as it is.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/MainLoop.h"
#include "plexora/OVAdSettings.h"
#include "server/OVAdURLSession.h"
#include "support/FaultInjectingVfs.h"
#include "support/TempDir.h"
#include "testserver/adserver/AdServer.h"
#include "tracking/OVAdEventManager.h"
#include "tracking/OVAdEventManagerTestSupport.h"
#include "util/OVAdConfigManager.h"
#include "util/SettingsTestEnvironment.h"
#include "util/database/OVAdDatabaseManager.h"

namespace plexora {
namespace {

using platform::Dictionary;
using testing::DiskFault;
using testing::FaultInjectingVfs;

constexpr const char* kEventInsertFailed = "Could not insert item. INSERT INTO events";
constexpr const char* kEventInsertUnprepared = "INSERT statement could not be prepared.";
constexpr const char* kInserted = "Successfully inserted item.";
constexpr const char* kOpenFailed = "Could not open database!";
constexpr const char* kFileRemoved = "Attempting to remove corrupt or invalid database...";
constexpr int kMostDrainTicks = 10;

std::set<std::string> asSet(const std::vector<std::string>& ids) { return {ids.begin(), ids.end()}; }

// "ok" for a sound file; SQLite's list of problems otherwise.
std::string integrityOf(const std::string& databasePath) {
  std::string result;
  testing::readRows(databasePath, "PRAGMA integrity_check", [&](sqlite3_stmt* row) {
    result += (result.empty() ? "" : "; ") + testing::columnText(row, 0);
  });
  return result;
}

class EventStoreDiskFaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(platform::DispatchQueue::settle(testing::kNetworkWaitSeconds));
    OVAdSettings::setLogLevel(6);
    adServer_.start();
    configManager_ = OVAdConfigManager::create(directory_.path().string());
    session_ = OVAdURLSession::create([](auto answer) { answer(std::string(testing::kTestUserAgent)); });
    clock_->advance(OVAdURLSession::kUserAgentPollInterval);
  }

  void TearDown() override {
    manager_.reset();
    EXPECT_TRUE(platform::DispatchQueue::settle(testing::kNetworkWaitSeconds));
    session_.reset();
    EXPECT_TRUE(platform::DispatchQueue::settle(testing::kNetworkWaitSeconds));
  }

  std::string databasePath() const { return (directory_ / "plexora" / "database.sqlite").string(); }

  // A launch of the process: a manager over the file, through the faulty
  // disk; waits for its set-up.
  void launch() {
    manager_.reset();
    ASSERT_TRUE(platform::DispatchQueue::settle(testing::kNetworkWaitSeconds));
    OVAdEventManagerEnvironment environment;
    environment.databaseManager = OVAdDatabaseManager::create();
    environment.databaseManager->setStoragePath(databasePath());
    environment.databaseManager->setVFSName(FaultInjectingVfs::kName);
    environment.configManager = configManager_;
    environment.urlSession = session_;
    environment.loggingBaseURL = adServer_.baseURL();
    manager_ = OVAdEventManager::create(std::move(environment));
    ASSERT_TRUE(platform::DispatchQueue::settle(testing::kNetworkWaitSeconds));
  }

  // Logs batch events (sent by the timer only) and waits until each has
  // been handled; answers how many callbacks ran.
  int log(int count, const std::string& token = "CT-1") {
    int callbacks = 0;
    for (int i = 0; i < count; ++i) {
      manager_->logEventOfType("native_view", 1, token, Dictionary{{"n", i}}, [&callbacks] { ++callbacks; });
    }
    EXPECT_TRUE(platform::DispatchQueue::settle(testing::kNetworkWaitSeconds));
    return callbacks;
  }

  std::size_t linesWithBoth(std::string_view first, std::string_view second) const {
    std::size_t count = 0;
    for (const std::string& line : settings_.lines()) {
      count += line.find(first) != std::string::npos && line.find(second) != std::string::npos ? 1 : 0;
    }
    return count;
  }

  std::vector<std::string> storedIds() const { return testing::idsOf(testing::readStoredEvents(databasePath())); }

  // Events the logging endpoint accepted.
  std::set<std::string> acceptedIds() {
    std::set<std::string> ids;
    for (const auto& event : adServer_.logging().events()) {
      if (event.code == std::optional<std::string>("1")) {
        ids.insert(event.eventId);
      }
    }
    return ids;
  }

  // Lets the dispatch timer send until the store is empty.
  void drain() {
    for (int tick = 0; tick < kMostDrainTicks && !storedIds().empty(); ++tick) {
      clock_->advance(OVAdEventManager::kDispatchInterval);
      ASSERT_TRUE(platform::MainLoop::instance().runUntil([&] { return manager_->eventsInTransit().empty(); },
                                                          testing::kNetworkWaitSeconds));
      ASSERT_TRUE(platform::DispatchQueue::settle(testing::kNetworkWaitSeconds));
    }
    EXPECT_EQ(storedIds(), std::vector<std::string>{}) << "the store did not empty";
  }

  testing::SettingsTestEnvironment settings_;
  testing::TempDir directory_;
  testing::ScopedDiskFaults faults_;
  std::shared_ptr<platform::ManualClock> clock_ = std::make_shared<platform::ManualClock>();
  platform::ScopedClock scopedClock_{clock_};
  testserver::AdServer adServer_;
  std::shared_ptr<OVAdConfigManager> configManager_;
  std::shared_ptr<OVAdURLSession> session_;
  std::shared_ptr<OVAdEventManager> manager_;
};

TEST_F(EventStoreDiskFaultTest, FullDiskRefusesNewEventsLoudlyAndKeepsEveryCommittedOne) {
  for (const DiskFault fault : {DiskFault::FullOnWrite, DiskFault::ShortWrite}) {
    SCOPED_TRACE(fault == DiskFault::FullOnWrite ? "nothing written" : "half of each write landed");
    adServer_.clearReceived();
    launch();
    ASSERT_EQ(log(4), 4);
    const std::vector<std::string> committed = storedIds();
    ASSERT_EQ(committed.size(), 4u);

    settings_.clearLines();
    faults_->failAfter(fault, 0);
    EXPECT_EQ(log(2) + log(1, "CT-new"), 3) << "every log call is answered, stored or not";
    EXPECT_GT(faults_->injected(), 0);
    EXPECT_EQ(settings_.count(kEventInsertFailed), 3u) << "one failure line per refused event";
    EXPECT_EQ(linesWithBoth(kEventInsertFailed, "(database or disk is full)"), 2u) << "each says why";
    // The new token's row could not be stored, so its event is refused by
    // the foreign key.
    EXPECT_EQ(linesWithBoth("Could not insert item. INSERT INTO tokens", "(database or disk is full)"), 1u);
    EXPECT_EQ(linesWithBoth(kEventInsertFailed, "(FOREIGN KEY constraint failed)"), 1u);
    EXPECT_EQ(settings_.count(kInserted), 0u) << "nothing was stored, so nothing may say so";
    EXPECT_EQ(storedIds(), committed);
    EXPECT_EQ(integrityOf(databasePath()), "ok");

    // The same connection works again once the disk has room.
    faults_->clear();
    ASSERT_EQ(log(1), 1);
    const std::vector<std::string> afterwards = storedIds();
    ASSERT_EQ(afterwards.size(), 5u);

    settings_.clearLines();
    launch();
    EXPECT_EQ(settings_.count(kOpenFailed), 0u);
    EXPECT_EQ(storedIds(), afterwards);
    drain();
    EXPECT_EQ(acceptedIds(), asSet(afterwards));
    EXPECT_EQ(integrityOf(databasePath()), "ok");
  }
}

TEST_F(EventStoreDiskFaultTest, FailedCheckpointAtCloseLosesNothing) {
  launch();
  ASSERT_EQ(log(6), 6);
  const std::vector<std::string> committed = storedIds();

  // The last connection to close copies the log into the file and syncs:
  // that sync fails, and the log stays beside the file.
  faults_->failAfter(DiskFault::IOErrorOnSync, 0);
  manager_.reset();
  ASSERT_TRUE(platform::DispatchQueue::settle(testing::kNetworkWaitSeconds));
  EXPECT_GT(faults_->injected(), 0);
  faults_->clear();

  launch();
  EXPECT_EQ(settings_.count(kOpenFailed), 0u);
  EXPECT_EQ(storedIds(), committed);
  EXPECT_EQ(integrityOf(databasePath()), "ok");
  drain();
  EXPECT_EQ(acceptedIds(), asSet(committed));
}

// The disk fails while a launch opens the store: the file is kept (it is
// not corrupt, only unreadable for now), log calls are refused with a line
// each, and once the disk works the same process opens it and goes on.
TEST_F(EventStoreDiskFaultTest, DiskFailingAtLaunchKeepsTheFileAndRecoversInTheSameProcess) {
  struct Case {
    const char* name;
    DiskFault fault;
    bool existingFile;
    // An existing file in write-ahead mode opens without writing; its
    // set-up and inserts fail instead.
    bool openFails;
  };
  const Case cases[] = {
      {"unreadable file", DiskFault::IOErrorOnRead, true, true},
      {"full disk, existing file", DiskFault::FullOnWrite, true, false},
      {"full disk, first launch", DiskFault::FullOnWrite, false, true},
      {"failing sync, first launch", DiskFault::IOErrorOnSync, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    adServer_.clearReceived();
    std::filesystem::remove_all(directory_ / "plexora");
    std::vector<std::string> committed;
    if (c.existingFile) {
      launch();
      ASSERT_EQ(log(3), 3);
      committed = storedIds();
      manager_.reset();
      ASSERT_TRUE(platform::DispatchQueue::settle(testing::kNetworkWaitSeconds));
    }

    settings_.clearLines();
    faults_->failAfter(c.fault, 0);
    launch();
    EXPECT_EQ(log(2), 2);
    EXPECT_EQ(settings_.count(kOpenFailed) > 0, c.openFails);
    EXPECT_EQ(settings_.count(kFileRemoved), 0u) << "a file that merely cannot be read now is kept";
    EXPECT_GE(settings_.count(kEventInsertUnprepared) + settings_.count(kEventInsertFailed), 2u);
    faults_->clear();
    if (c.existingFile) {
      EXPECT_EQ(storedIds(), committed);
    }

    ASSERT_EQ(log(1), 1);
    const std::vector<std::string> afterwards = storedIds();
    EXPECT_EQ(afterwards.size(), committed.size() + 1);
    drain();
    EXPECT_EQ(acceptedIds(), asSet(afterwards));
    EXPECT_EQ(integrityOf(databasePath()), "ok");
  }
}

// A full disk that begins at each write of a first launch in turn: once it
// clears, the same process stores and sends events, and the next launch
// keeps them.
TEST_F(EventStoreDiskFaultTest, FullDiskFromEachWriteOfTheSetUpOnIsRepairedOnceItClears) {
  constexpr int kWritePoints = 16;
  for (int skip = 0; skip < kWritePoints; ++skip) {
    SCOPED_TRACE("full from write " + std::to_string(skip + 1));
    adServer_.clearReceived();
    manager_.reset();
    ASSERT_TRUE(platform::DispatchQueue::settle(testing::kNetworkWaitSeconds));
    std::filesystem::remove_all(directory_ / "plexora");

    faults_->failAfter(DiskFault::FullOnWrite, skip);
    launch();
    log(1);
    faults_->clear();

    ASSERT_EQ(log(2), 2);
    const std::vector<std::string> stored = storedIds();
    EXPECT_GE(stored.size(), 2u);
    launch();
    EXPECT_EQ(storedIds(), stored) << "the next launch kept every stored event";
    drain();
    EXPECT_EQ(acceptedIds(), asSet(stored));
    EXPECT_EQ(integrityOf(databasePath()), "ok");
  }
}

// Random faults of every kind while events are logged and sent: the file
// stays whole, and every log call ends either in an event the server
// accepts or in a failure line.
TEST_F(EventStoreDiskFaultTest, RandomFaultsNeverLoseAnEventSilently) {
  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  launch();
  settings_.clearLines();
  faults_->failRandomly(DiskFault::FullOnWrite, 0.04, seed);
  faults_->failRandomly(DiskFault::ShortWrite, 0.04, seed);
  faults_->failRandomly(DiskFault::IOErrorOnSync, 0.1, seed);
  faults_->failRandomly(DiskFault::IOErrorOnRead, 0.02, seed);

  constexpr int kRounds = 30;
  int logged = 0;
  for (int round = 0; round < kRounds; ++round) {
    logged += log(1 + round % 4, "CT-" + std::to_string(round % 5));
    clock_->advance(OVAdEventManager::kDispatchInterval);
    ASSERT_TRUE(platform::MainLoop::instance().runUntil([&] { return manager_->eventsInTransit().empty(); },
                                                        testing::kNetworkWaitSeconds));
    ASSERT_TRUE(platform::DispatchQueue::settle(testing::kNetworkWaitSeconds));
    if (round % 10 == 9) {
      launch();  // a relaunch on the failing disk
    }
  }
  EXPECT_GT(faults_->injected(), 0);
  faults_->clear();
  EXPECT_EQ(integrityOf(databasePath()), "ok");

  launch();
  drain();
  // A refused event's token insert may fail to prepare as well, with the
  // same line, so the lines bound the refusals from above.
  const std::size_t refusalLines = settings_.count(kEventInsertFailed) + settings_.count(kEventInsertUnprepared);
  const std::size_t accepted = acceptedIds().size();
  EXPECT_LE(accepted, static_cast<std::size_t>(logged));
  EXPECT_GE(accepted + refusalLines, static_cast<std::size_t>(logged))
      << "accepted " << accepted << ", refusal lines " << refusalLines;
  EXPECT_EQ(integrityOf(databasePath()), "ok");
}

}  // namespace
}  // namespace plexora
