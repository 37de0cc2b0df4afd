// The event pipeline killed at random points: a child process logs and
// dispatches events against a loopback logging server that answers with a
// mix of codes and faults, and is killed with SIGKILL, again and again, on
// one database file. After every kill each event the child had committed
// is either finished at the server (answered 1 or 2000-2999) or still
// stored; a last launch drains the store, so everything committed is
// finished in the end. The server also checks that no event is in two
// batches at once, that no process sends an event again after its final
// answer, and that an event reads the same on every delivery.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
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
using testserver::Response;

constexpr int kRounds = 24;
constexpr int kShortestLifeMilliseconds = 20;
constexpr int kLongestLifeMilliseconds = 300;
constexpr auto kDrainLimit = std::chrono::seconds(60);

std::set<std::string> committedSeqs(const std::filesystem::path& report) {
  std::set<std::string> seqs;
  std::ifstream lines(report);
  for (std::string line; std::getline(lines, line);) {
    seqs.insert(line);
  }
  return seqs;
}

std::string seqOfData(const std::optional<std::string>& json) {
  const std::optional<platform::Value> data = json ? OVAdUtility::getObjectFromJSONString(*json) : std::nullopt;
  const platform::Value* seq = data ? data->find("seq") : nullptr;
  return seq != nullptr ? seq->asString() : std::string();
}

std::set<std::string> storedSeqs(const std::string& databasePath) {
  std::set<std::string> seqs;
  bool tablesMade = false;
  testing::readRows(databasePath, "SELECT name FROM sqlite_master WHERE name = 'events'",
                    [&](sqlite3_stmt*) { tablesMade = true; });
  if (!tablesMade) {
    // Killed before its set-up: nothing can have been committed.
    return seqs;
  }
  for (const auto& event : testing::readStoredEvents(databasePath)) {
    seqs.insert(seqOfData(event.data));
  }
  return seqs;
}

std::set<std::string> finishedSeqs(const AcknowledgingEndpoint& endpoint) {
  std::set<std::string> seqs;
  for (const auto& [eventId, event] : endpoint.finishedEvents()) {
    const platform::Value* data = event.find("data");
    const platform::Value* seq = data != nullptr ? data->find("seq") : nullptr;
    seqs.insert(seq != nullptr ? seq->asString() : std::string());
  }
  return seqs;
}

// Committed events that are neither finished nor stored.
std::vector<std::string> lost(const std::set<std::string>& committed, const std::set<std::string>& finished,
                              const std::set<std::string>& stored) {
  std::vector<std::string> missing;
  for (const std::string& seq : committed) {
    if (!finished.contains(seq) && !stored.contains(seq)) {
      missing.push_back(seq);
    }
  }
  return missing;
}

// A killed child's connection may be written to after it is gone.
class IgnoredBrokenPipes {
 public:
  IgnoredBrokenPipes() : previous_(std::signal(SIGPIPE, SIG_IGN)) {}
  ~IgnoredBrokenPipes() { std::signal(SIGPIPE, previous_); }
  IgnoredBrokenPipes(const IgnoredBrokenPipes&) = delete;
  IgnoredBrokenPipes& operator=(const IgnoredBrokenPipes&) = delete;

 private:
  void (*previous_)(int);
};

TEST(EventPipelineKillTest, KilledAtRandomPointsLosesNoCommittedEvent) {
  const std::filesystem::path program = testing::eventPipelineChildProgram();
  ASSERT_TRUE(std::filesystem::exists(program)) << program;
  IgnoredBrokenPipes ignoredBrokenPipes;
  testing::TempDir directory;
  const std::string databasePath = (directory / "database.sqlite").string();

  // Most events are accepted; some are refused for good, some must come
  // again, some are left out of the answer; some whole requests fail.
  AcknowledgingEndpoint endpoint(
      [](const std::string& eventId, int attempt) -> std::optional<std::string> {
        const std::size_t hash = std::hash<std::string>{}(eventId);
        if (attempt == 1 && hash % 5 == 0) return "500";
        if (attempt <= 2 && hash % 7 == 1) return std::nullopt;
        if (hash % 9 == 2) return "2001";
        return "1";
      },
      [](std::size_t index) -> std::optional<Response> {
        if (index % 11 == 5) return Response::dropped();
        if (index % 13 == 7) return Response::text(500, "busy");
        if (index % 17 == 3) return Response::text(200, "<html>busy</html>");
        return std::nullopt;
      });

  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> lifetime(kShortestLifeMilliseconds, kLongestLifeMilliseconds);

  for (int round = 0; round < kRounds; ++round) {
    const std::string generation = "gen" + std::to_string(round);
    const pid_t child = testing::spawnEventPipelineChild(
        {program.string(), "run", directory.path().string(), endpoint.baseURL(generation), generation});
    ASSERT_GT(child, 0);
    ASSERT_TRUE(testing::awaitEventPipelineChildStored(child, directory.path(), generation))
        << generation << " never stored an event";
    std::this_thread::sleep_for(std::chrono::milliseconds(lifetime(random)));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << generation << " ended by itself with " << status;

    const std::set<std::string> committed = committedSeqs(directory / "committed.txt");
    EXPECT_EQ(lost(committed, finishedSeqs(endpoint), storedSeqs(databasePath)), std::vector<std::string>{})
        << "after " << generation;
  }

  const pid_t drainer = testing::spawnEventPipelineChild(
      {program.string(), "drain", directory.path().string(), endpoint.baseURL("drain"), "drain"});
  ASSERT_GT(drainer, 0);
  EXPECT_EQ(testing::awaitEventPipelineChildExit(drainer, kDrainLimit), 0) << "the store did not empty";

  const std::set<std::string> committed = committedSeqs(directory / "committed.txt");
  EXPECT_GT(committed.size(), static_cast<std::size_t>(kRounds)) << "the children hardly logged";
  EXPECT_EQ(lost(committed, finishedSeqs(endpoint), {}), std::vector<std::string>{});
  EXPECT_TRUE(testing::readStoredEvents(databasePath).empty());
  EXPECT_TRUE(testing::readStoredTokens(databasePath).empty());
  EXPECT_EQ(endpoint.problems(), std::vector<std::string>{});
}

}  // namespace
}  // namespace plexora
