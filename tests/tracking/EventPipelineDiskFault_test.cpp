// The event pipeline on a failing disk, killed at random points: child
// processes log and dispatch events while their disk fails now and then
// (full on write, short writes, failing syncs and reads) and are killed with
// SIGKILL, again and again, on one database file. After every kill the file
// is whole; a last launch on a working disk drains the store, and every
// event ever seen stored reaches the logging server.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/TempDir.h"
#include "tracking/EventPipelineChildProcess.h"
#include "tracking/OVAdEventManagerTestSupport.h"

namespace plexora {
namespace {

using testing::AcknowledgingEndpoint;

constexpr int kRounds = 12;
constexpr int kShortestLifeMilliseconds = 50;
constexpr int kLongestLifeMilliseconds = 300;
constexpr auto kDrainLimit = std::chrono::seconds(60);

bool hasEventsTable(const std::string& databasePath) {
  bool found = false;
  testing::readRows(databasePath, "SELECT name FROM sqlite_master WHERE name = 'events'",
                    [&](sqlite3_stmt*) { found = true; });
  return found;
}

std::string integrityOf(const std::string& databasePath) {
  std::string result;
  testing::readRows(databasePath, "PRAGMA integrity_check", [&](sqlite3_stmt* row) {
    result += (result.empty() ? "" : "; ") + testing::columnText(row, 0);
  });
  return result;
}

TEST(EventPipelineDiskFaultTest, KilledOnAFailingDiskLosesNoStoredEventAndTheDrainSendsThemAll) {
  const std::filesystem::path program =
      testing::eventPipelineChildProgram();
  ASSERT_TRUE(std::filesystem::exists(program)) << program;
  // A killed child's connection may be written to after it is gone.
  const auto previousPipeHandler = std::signal(SIGPIPE, SIG_IGN);
  testing::TempDir directory;
  const std::string databasePath = (directory / "database.sqlite").string();
  // Events come back twice before they are accepted, so the store holds
  // many of them whenever a child is killed.
  AcknowledgingEndpoint endpoint([](const std::string&, int attempt) -> std::optional<std::string> {
    return attempt <= 2 ? "0" : "1";
  });

  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> lifetime(kShortestLifeMilliseconds, kLongestLifeMilliseconds);

  std::set<std::string> everStored;
  for (int round = 0; round < kRounds; ++round) {
    const std::string generation = "gen" + std::to_string(round);
    const pid_t child = testing::spawnEventPipelineChild(
        {program.string(), "run-on-failing-disk", directory.path().string(), endpoint.baseURL(generation), generation});
    ASSERT_GT(child, 0);
    ASSERT_TRUE(testing::awaitEventPipelineChildStored(child, directory.path(), generation))
        << generation << " never stored an event";
    std::this_thread::sleep_for(std::chrono::milliseconds(lifetime(random)));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << generation << " ended by itself with " << status;

    if (!hasEventsTable(databasePath)) {
      continue;  // killed before its set-up, or the disk refused it
    }
    EXPECT_EQ(integrityOf(databasePath), "ok") << "after " << generation;
    for (const auto& event : testing::readStoredEvents(databasePath)) {
      everStored.insert(event.eventId);
    }
  }

  const pid_t drainer = testing::spawnEventPipelineChild(
      {program.string(), "drain", directory.path().string(), endpoint.baseURL("drain"), "drain"});
  ASSERT_GT(drainer, 0);
  EXPECT_EQ(testing::awaitEventPipelineChildExit(drainer, kDrainLimit), 0) << "the store did not empty";
  std::signal(SIGPIPE, previousPipeHandler);

  ASSERT_FALSE(everStored.empty()) << "the children stored nothing, so nothing was tried";
  const std::set<std::string> finished = endpoint.finished();
  std::vector<std::string> lost;
  for (const std::string& eventId : everStored) {
    if (!finished.contains(eventId)) {
      lost.push_back(eventId);
    }
  }
  EXPECT_EQ(lost, std::vector<std::string>{});
  EXPECT_TRUE(testing::readStoredEvents(databasePath).empty());
  EXPECT_EQ(integrityOf(databasePath), "ok");
  // A delete that the disk refused sends an accepted event again, which is
  // allowed; an event in two batches at once, or changed, never is.
  for (const std::string& problem : endpoint.problems()) {
    if (problem.find("sent again after its final answer") == std::string::npos) {
      ADD_FAILURE() << problem;
    }
  }
}

}  // namespace
}  // namespace plexora
