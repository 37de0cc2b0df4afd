// The event manager's costs, side by side with a bare SQLite insert loop on
// the same settings:
//   BM_LogCall          what a log call costs the calling thread
//   BM_LogIntoStore     events per second from the log call into the store,
//                       in wall time, with the transactions it took per round
//   BM_BareInsert       the same events per round, in wall time, through one
//                       prepared statement bound and stepped per event, in
//                       transactions of the sizes the store used for such a
//                       round (measured first on a manager of its own)
//   BM_Dispatch1000     1,000 stored events sent to a loopback server that
//                       accepts them all, until they are deleted
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/Paths.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/value/Value.h"
#include "server/OVAdURLSession.h"
#include "testserver/FormDecoding.h"
#include "testserver/TestServer.h"
#include "tracking/OVAdEvent.h"
#include "tracking/OVAdEventManager.h"
#include "tracking/OVAdEventToken.h"
#include "util/OVAdConfigManager.h"
#include "util/OVAdUtility.h"
#include "util/database/OVAdDatabaseManager.h"

namespace {

using plexora::OVAdEventManager;
using plexora::platform::Dictionary;
using plexora::platform::Value;

constexpr const char* kToken = "CT-bench-0123456789abcdef";
constexpr const char* kEventType = "video";
// Batch events: nothing starts a dispatch while the benchmarks log.
constexpr std::uint64_t kBatchPriority = 1;
constexpr int kLogsPerRound = 1000;
constexpr int kDispatchedEvents = 1000;
// Rounds logged to learn the store's transaction sizes.
constexpr int kCalibrationRounds = 5;
// The same connection settings as the library's database manager.
constexpr const char* kConnectionSetup =
    "PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL; PRAGMA foreign_keys = ON;";

Dictionary extraData() { return Dictionary{{"action", "1"}, {"time", "12.5"}, {"autoplay", "0"}}; }

std::string makeDirectory(const char* name) {
  std::string path = (std::filesystem::temp_directory_path() / (std::string(name) + "-XXXXXX")).string();
  if (::mkdtemp(path.data()) == nullptr) {
    std::abort();
  }
  return path;
}

// Answers every event of a batch with "1" and counts them.
plexora::testserver::Response acceptAll(const plexora::testserver::RecordedRequest& request,
                                        std::atomic<std::size_t>& accepted) {
  plexora::platform::Array answer;
  for (const auto& [name, value] : plexora::testserver::decodeForm(request.body)) {
    const auto payload = plexora::OVAdUtility::getObjectFromJSONString(value);
    const Value* events = payload ? payload->find("events") : nullptr;
    for (std::size_t i = 0; events != nullptr && i < events->size(); ++i) {
      answer.emplace_back(Dictionary{{"id", *events->at(i)->find("id")}, {"code", "1"}});
    }
  }
  accepted += answer.size();
  // No text content type: the server would spend longer compressing the
  // answer than the library spends on the whole batch.
  plexora::testserver::Response response;
  response.body = plexora::OVAdUtility::getJSONStringFromObject(Value(std::move(answer))).value_or("[]");
  return response;
}

// A manager on a file of its own, sending to a loopback server that accepts
// everything. Each benchmark makes its own, so none inherits another's
// events.
class Pipeline {
 public:
  Pipeline()
      : directory_(makeDirectory("event-manager-bench")) {
    server_.on(
        "/", [this](const plexora::testserver::RecordedRequest& request) { return acceptAll(request, accepted_); },
        plexora::testserver::Match::Prefix);
    plexora::platform::setUserDefaultsPath(directory_ + "/UserDefaults.plist");
    plexora::platform::UserDefaults::resetStandardUserDefaults(directory_ + "/UserDefaults.plist");
    server_.start();
    plexora::OVAdEventManagerEnvironment environment;
    environment.databaseManager = plexora::OVAdDatabaseManager::create();
    environment.databaseManager->setStoragePath(directory_ + "/database.sqlite");
    environment.configManager = plexora::OVAdConfigManager::create(directory_);
    environment.urlSession = plexora::OVAdURLSession::create([](auto answer) { answer(std::string("Bench/1.0")); });
    environment.loggingBaseURL = server_.baseURL();
    databaseManager_ = environment.databaseManager;
    manager_ = OVAdEventManager::create(std::move(environment));
    drain();
  }

  ~Pipeline() {
    manager_.reset();
    server_.stop();
    std::filesystem::remove_all(directory_);
  }
  Pipeline(const Pipeline&) = delete;
  Pipeline& operator=(const Pipeline&) = delete;

  OVAdEventManager& manager() { return *manager_; }
  const std::shared_ptr<plexora::OVAdDatabaseManager>& databaseManager() const { return databaseManager_; }
  const std::string& directory() const { return directory_; }
  std::size_t accepted() const { return accepted_.load(); }

  // Returns once every event logged so far is in the store: the inserts run
  // in the order of the log calls, so the last one's callback comes last.
  void drain() {
    std::promise<void> stored;
    manager_->logEventOfType(kEventType, kBatchPriority, kToken, extraData(), [&] { stored.set_value(); });
    stored.get_future().wait();
  }

  // Sends everything stored and returns once the server accepted `count`
  // events and their deletion is done.
  void dispatchAndAwait(std::size_t count) {
    const std::size_t target = accepted_.load() + count;
    manager_->dispatchEventsImmediately();
    while (accepted_.load() < target || !manager_->eventsInTransit().empty()) {
      std::this_thread::yield();
    }
    // The answer's task releases the batch and deletes in one go; a store
    // task queued now runs after it.
    std::promise<void> deleted;
    databaseManager_->getDatabase([&](const plexora::OVAdDatabaseHandle&) { deleted.set_value(); });
    deleted.get_future().wait();
  }

 private:
  const std::string directory_;
  std::atomic<std::size_t> accepted_{0};
  plexora::testserver::TestServer server_;
  std::shared_ptr<plexora::OVAdDatabaseManager> databaseManager_;
  std::shared_ptr<OVAdEventManager> manager_;
};

// Counts the store's commits and the rows each one wrote, on the
// connection's own thread.
class CommitCounter {
 public:
  explicit CommitCounter(Pipeline& pipeline) : pipeline_(pipeline) {
    onDatabase([this](sqlite3* connection) {
      connection_ = connection;
      lastChanges_ = sqlite3_total_changes(connection);
      sqlite3_commit_hook(connection, &CommitCounter::onCommit, this);
    });
  }
  ~CommitCounter() {
    onDatabase([](sqlite3* connection) { sqlite3_commit_hook(connection, nullptr, nullptr); });
  }
  CommitCounter(const CommitCounter&) = delete;
  CommitCounter& operator=(const CommitCounter&) = delete;

  // The rows of each commit since the last call.
  std::vector<int> takeTransactionSizes() {
    std::vector<int> sizes;
    onDatabase([&](sqlite3*) { sizes.swap(sizes_); });
    return sizes;
  }

 private:
  void onDatabase(const std::function<void(sqlite3*)>& work) {
    std::promise<void> done;
    pipeline_.databaseManager()->getDatabase([&](const plexora::OVAdDatabaseHandle& database) {
      work(database.get());
      done.set_value();
    });
    done.get_future().wait();
  }

  static int onCommit(void* counter) {
    auto* self = static_cast<CommitCounter*>(counter);
    // Called as the commit begins: the count already holds every row the
    // transaction wrote.
    const int changes = sqlite3_total_changes(self->connection_);
    self->sizes_.push_back(changes - self->lastChanges_);
    self->lastChanges_ = changes;
    return 0;
  }

  Pipeline& pipeline_;
  sqlite3* connection_ = nullptr;
  int lastChanges_ = 0;
  std::vector<int> sizes_;
};

void logRound(Pipeline& bench) {
  for (int i = 0; i < kLogsPerRound; ++i) {
    bench.manager().logEventOfType(kEventType, kBatchPriority, kToken, extraData());
  }
  bench.drain();
}

void BM_LogCall(benchmark::State& state) {
  Pipeline bench;
  int sinceDrain = 0;
  for (auto _ : state) {
    bench.manager().logEventOfType(kEventType, kBatchPriority, kToken, extraData());
    if (++sinceDrain == kLogsPerRound) {
      // Keeps the queue from growing without end; not the caller's cost.
      state.PauseTiming();
      bench.drain();
      sinceDrain = 0;
      state.ResumeTiming();
    }
  }
  bench.drain();
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LogCall);

void BM_LogIntoStore(benchmark::State& state) {
  Pipeline bench;
  CommitCounter commits(bench);
  commits.takeTransactionSizes();
  for (auto _ : state) {
    logRound(bench);
  }
  state.SetItemsProcessed(state.iterations() * (kLogsPerRound + 1));
  state.counters["transactions_per_round"] =
      static_cast<double>(commits.takeTransactionSizes().size()) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_LogIntoStore)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_BareInsert(benchmark::State& state) {
  Pipeline bench;
  // A few rounds on the manager show the transaction sizes its store uses;
  // the bare loop's rounds commit in the same sizes, taking them in turn.
  std::vector<std::vector<int>> roundSizes;
  {
    CommitCounter commits(bench);
    commits.takeTransactionSizes();
    for (int round = 0; round < kCalibrationRounds; ++round) {
      logRound(bench);
      roundSizes.push_back(commits.takeTransactionSizes());
    }
  }
  const std::string path = bench.directory() + "/bare.sqlite";
  sqlite3* connection = nullptr;
  sqlite3_open(path.c_str(), &connection);
  sqlite3_exec(connection, kConnectionSetup, nullptr, nullptr, nullptr);
  sqlite3_exec(connection, plexora::OVAdEventToken::kCreateTableStatement, nullptr, nullptr, nullptr);
  sqlite3_exec(connection, plexora::OVAdEvent::kCreateTableStatement, nullptr, nullptr, nullptr);
  const plexora::OVAdEventToken token(kToken);
  sqlite3_stmt* tokenInsert = nullptr;
  sqlite3_prepare_v2(connection, plexora::OVAdEventToken::kInsertStatement, -1, &tokenInsert, nullptr);
  sqlite3_bind_text(tokenInsert, 1, token.tokenId().c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(tokenInsert, 2, token.token().c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_step(tokenInsert);
  sqlite3_finalize(tokenInsert);

  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(connection, plexora::OVAdEvent::kInsertStatement, -1, &insert, nullptr);
  const std::string data = plexora::OVAdUtility::getJSONStringFromObject(Value(extraData())).value_or("{}");
  const auto insertOne = [&] {
    const plexora::OVAdEvent event(kEventType, kBatchPriority, token.tokenId(), token.tokenId(), 1.7e9, std::nullopt);
    sqlite3_bind_text(insert, 1, event.eventId().c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(insert, 2, event.tokenId().c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int64(insert, 3, static_cast<sqlite3_int64>(event.priority()));
    sqlite3_bind_text(insert, 4, event.type().c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_double(insert, 5, event.time());
    sqlite3_bind_text(insert, 6, event.sessionId().c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_double(insert, 7, event.sessionStartTime());
    sqlite3_bind_text(insert, 8, data.c_str(), -1, SQLITE_TRANSIENT);
    const bool inserted = sqlite3_step(insert) == SQLITE_DONE;
    sqlite3_reset(insert);
    return inserted;
  };
  std::int64_t events = 0;
  std::int64_t transactions = 0;
  bool failed = false;
  for (auto _ : state) {
    const std::vector<int>& transactionSizes = roundSizes[state.iterations() % roundSizes.size()];
    transactions += static_cast<std::int64_t>(transactionSizes.size());
    for (const int size : transactionSizes) {
      sqlite3_exec(connection, "BEGIN", nullptr, nullptr, nullptr);
      for (int i = 0; i < size && !failed; ++i) {
        failed = !insertOne();
      }
      sqlite3_exec(connection, "COMMIT", nullptr, nullptr, nullptr);
      events += size;
    }
    if (failed) {
      state.SkipWithError(sqlite3_errmsg(connection));
      break;
    }
  }
  sqlite3_finalize(insert);
  sqlite3_close(connection);
  state.SetItemsProcessed(events);
  state.counters["transactions_per_round"] =
      static_cast<double>(transactions) / static_cast<double>(std::max<std::int64_t>(state.iterations(), 1));
}
BENCHMARK(BM_BareInsert)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Dispatch1000(benchmark::State& state) {
  Pipeline bench;
  // The set-up's own event goes first, untimed.
  bench.dispatchAndAwait(1);
  for (auto _ : state) {
    state.PauseTiming();
    for (int i = 0; i < kDispatchedEvents - 1; ++i) {
      bench.manager().logEventOfType(kEventType, kBatchPriority, kToken, extraData());
    }
    bench.drain();
    state.ResumeTiming();
    bench.dispatchAndAwait(kDispatchedEvents);
  }
  state.SetItemsProcessed(state.iterations() * kDispatchedEvents);
}
BENCHMARK(BM_Dispatch1000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
