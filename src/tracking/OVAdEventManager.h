// The library's persistent event reporter.
//
// Ad code logs events (impressions, clicks, video reports, closes, browser
// sessions...) against an ad's client token. The manager stores each event
// and its token in SQLite, sends the stored events in batches as one
// form-encoded POST to the logging endpoint, and deletes each event once the
// server has answered for it for good. Events of priority 0 start a batch
// after a short delay (the configuration's immediate delay); all others wait
// for the 300-second timer. What is not acknowledged stays stored and goes
// again later, also after a restart.
//
// Life of an event: stored -> in a batch (in transit) -> deleted (answered 1
// or 2000-2999) or back to stored (any other code, an answer that does not
// name it, or a failed request). Batches are formed on the database queue,
// so one event is never in two batches at once; an event stays out of
// batches only while its batch waits for an answer.
//
// Thread safety:
// - Every public member may be called from any thread; the logging and
//   dispatch operations return at once. Store work runs on the database manager's queue, delays,
//   retries and the timer on the main queue; HTTP answers arrive on the URL
//   session's queue and are processed on the database queue. Log callbacks
//   run on the database queue.
// Ownership: the process-wide manager lives for the process. A manager made
// with create() is owned by its caller; the dispatch timer and the delayed
// dispatches hold it weakly, queued store work and requests in flight hold
// it until they have run.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Bytes.h"
#include "platform/foundation/Error.h"
#include "platform/net/HTTPURLResponse.h"
#include "platform/value/Value.h"
#include "tracking/OVAdEvent.h"
#include "tracking/OVAdEventToken.h"
#include "util/OVAdConcurrentArray.h"
#include "util/database/OVAdDatabaseManager.h"

namespace plexora {

class OVAdConfigManager;
class OVAdTimer;
class OVAdURLSession;

// The logging server's base URL while no URL prefix is set; with one, the
// prefix goes in as a label after the host's first label.
inline constexpr const char* kOVAdLoggingBaseURL = "https://www.plexora.example/";
// The logging endpoint under the base URL.
inline constexpr const char* kOVAdLoggingPath = "plxo_logging/";

// What a manager works with. Null members stand for the process-wide ones.
struct OVAdEventManagerEnvironment {
  std::shared_ptr<OVAdDatabaseManager> databaseManager;
  std::shared_ptr<OVAdConfigManager> configManager;
  std::shared_ptr<OVAdURLSession> urlSession;
  // The logging server's base URL without a URL prefix (development
  // servers and tests point it elsewhere). Empty: the ad server's
  // (OVAdSettings::adServerBaseURL) when the host points the library at a
  // server outside the library's own domain, else kOVAdLoggingBaseURL.
  std::string loggingBaseURL = kOVAdLoggingBaseURL;
  // Seconds a logging request may take; none keeps the URL session's limit.
  std::optional<double> requestTimeout;
};

class OVAdEventManager final : public std::enable_shared_from_this<OVAdEventManager> {
 public:
  using Callback = std::function<void()>;
  using ExtraData = std::optional<platform::Dictionary>;

  static constexpr double kDispatchInterval = 300.0;
  static constexpr double kRetryDelay = 5.0;

  // The process's manager, on the shared database, configuration and URL
  // session; created on first use.
  static std::shared_ptr<OVAdEventManager> sharedManager();
  // A manager with a new session identifier: sets up its tables and starts
  // the dispatch timer.
  static std::shared_ptr<OVAdEventManager> create(OVAdEventManagerEnvironment environment = {});

  ~OVAdEventManager();
  OVAdEventManager(const OVAdEventManager&) = delete;
  OVAdEventManager& operator=(const OVAdEventManager&) = delete;

  // ---- Logging (any thread) ----

  void logImpressionForToken(const std::string& token, ExtraData extraData);      // "impression", 0
  void logImpressionMissForToken(const std::string& token, ExtraData extraData);  // "impression_miss", 1
  void logStoreClickForToken(const std::string& token, ExtraData extraData);      // "store", 0
  void logLinkClickForToken(const std::string& token, ExtraData extraData);       // "open_link", 0
  void logSnapshotForToken(const std::string& token, ExtraData extraData);        // "native_view", 1
  void logVideoEventForToken(const std::string& token, ExtraData extraData);      // "video", 0
  void logCloseEventForToken(const std::string& token, ExtraData extraData);      // "close", 0
  void logBrowserSessionEventForToken(const std::string& token, ExtraData extraData);  // "browser_session", 1
  // Stores the event under the token's row (made when the token has none)
  // and, for priority 0, starts a dispatch after the immediate delay. The
  // callback runs once the insert has finished, stored or not. Calls that
  // wait for the store together are stored in one transaction.
  void logEventOfType(std::string type, std::uint64_t priority, const std::string& token, ExtraData extraData,
                      Callback callback = nullptr);

  // ---- Dispatch (any thread) ----

  static bool shouldDispatchNow(const OVAdEvent& event) { return event.priority() == 0; }
  // A dispatch after the configuration's immediate delay.
  void dispatchEvents();
  // dispatchEvents after kRetryDelay.
  void retryDispatch();
  // Sends every stored event not in transit (at most the configuration's
  // event limit when it is above 0) with their tokens, now.
  void dispatchEventsImmediately();
  // The logging endpoint as the settings' URL prefix makes it now.
  std::string eventURL() const;
  // An answer's code read as an integer the way the server means it:
  // leading blanks, an optional sign and the digits up to the first other
  // character; 0 for none.
  static std::int64_t integerValueOfCode(const std::optional<std::string>& code);
  static bool isEventSuccessful(const std::optional<std::string>& code);
  // Every code but 2000 to 2999 (refused for good).
  static bool isEventRetriable(const std::optional<std::string>& code);

  // ---- Identity ----

  const std::string& sessionId() const { return sessionId_; }
  double sessionStartTime() const { return sessionStartTime_; }
  // Seconds since the manager was created.
  double sessionTime() const;
  // Identifiers of the events whose batch waits for its answer.
  std::vector<std::string> eventsInTransit() const { return eventsInTransit_.nonConcurrentCopy(); }

 private:
  using TokenIdCallback = std::function<void(const std::string& tokenId)>;
  using TokensCallback = std::function<void(std::vector<OVAdEventToken>)>;
  using AnswerHandler = std::function<void(const std::optional<platform::HTTPURLResponse>& response,
                                           const platform::Bytes& data, const std::optional<platform::Error>& error)>;

  // A log call waiting for the store.
  struct PendingLog {
    std::string type;
    std::uint64_t priority;
    std::string token;
    ExtraData extraData;
    Callback callback;
  };

  explicit OVAdEventManager(OVAdEventManagerEnvironment environment);
  void start();
  // Creates the tables (when missing) and removes orphaned rows, on the
  // database queue; the callback runs there once that is done.
  void setupDatabaseWithCallback(OVAdDatabaseManager::HandleCallback callback);
  void takeDispatchDecision(const OVAdEvent& event);

  // ---- Store: on the database queue only ----

  static const char* tokenTableString() { return OVAdEventToken::kCreateTableStatement; }
  static const char* eventTableString() { return OVAdEvent::kCreateTableStatement; }

  // Creates the tables when the last attempt left one missing (a write of
  // the set-up failed); the next store work tries again, so a disk that
  // recovers does not leave the store without tables until a restart.
  void createTablesSync(const OVAdDatabaseHandle& database);
  // Stores every waiting log call, in one transaction when it can, then
  // takes each event's dispatch decision and runs its callback. Token
  // lookups and inserts share the task, so a token row found or made there
  // cannot lose its last event to a clean-up before the event refers to it.
  void storePendingLogsSync(const OVAdDatabaseHandle& database);
  // The events of the logs, committed in one transaction; empty when that
  // failed, and then nothing of it is stored and the transaction is closed.
  // Statement outcomes are logged only once committed.
  std::vector<OVAdEvent> storeTogetherSync(std::vector<PendingLog>& logs, const OVAdDatabaseHandle& database);
  // The events of the logs, each inserted on its own with its outcome
  // logged; one per log, stored or not. Takes the logs' types and data.
  std::vector<OVAdEvent> storeEachAloneSync(std::vector<PendingLog>& logs, const OVAdDatabaseHandle& database);
  // The identifier of the token's stored row, if any.
  std::optional<std::string> storedTokenIdSync(const std::string& token, const OVAdDatabaseHandle& database);
  // The identifier of the token's row, made when there is none; the
  // callback runs at once.
  void tokenIdForTokenSync(const std::string& token, const OVAdDatabaseHandle& database, TokenIdCallback callback);
  // Runs a statement without rows now, logging nothing; answers whether it
  // completed.
  bool stepQuietlySync(const OVAdSQLStatement& statement, const OVAdDatabaseHandle& database);
  // Inserts the row; the completion runs at once with the outcome.
  void insertEvent(const OVAdEvent& event, const OVAdDatabaseHandle& database,
                   OVAdDatabaseManager::SuccessCallback completion);
  // Runs a statement without rows now; answers whether it completed.
  bool executeSync(const char* sql, const OVAdDatabaseHandle& database);
  // Gives the row that holds event.storedEventId() the event's identifier;
  // answers whether that completed.
  bool writeBackEventIdSync(const OVAdEvent& event, const OVAdDatabaseHandle& database);
  // Deletes the events, then (in a later task) the tokens left without one.
  void cleanupEventsSync(const std::vector<std::string>& eventIds, const OVAdDatabaseHandle& database);
  void removeAllOrphanedTokensSyncWithDatabase(const OVAdDatabaseHandle& database, Callback callback);
  void removeAllOrphanedEventsSyncWithDatabase(const OVAdDatabaseHandle& database, Callback callback);
  // Reads the first column of the statement's rows and deletes those rows
  // with `deleteStatement` (its one parameter takes the identifiers as a
  // JSON array); the callback is queued.
  void removeRowsSync(const char* selectStatement, const char* deleteStatement, const OVAdDatabaseHandle& database,
                      Callback callback);
  // Rows read as records, unreadable rows skipped; the callback is queued.
  void queryTokensSyncWithStatement(const OVAdSQLStatement& statement, const OVAdDatabaseHandle& database,
                                    TokensCallback callback);

  // ---- Sending ----

  // Reads the next batch (stored, not in transit, within the limit) and
  // marks it in transit, in one task of the database queue.
  void formBatchSync(const OVAdDatabaseHandle& database);
  void sendBatch(std::vector<OVAdEvent> batch, std::vector<OVAdEventToken> tokens);
  // POSTs the parameters form-encoded to the URL.
  void sendRequestInternal(const std::string& url, const platform::Value& parameters, AnswerHandler handler);
  // On the URL session's queue.
  void handleAnswer(const std::vector<std::string>& batchIds, const std::optional<platform::HTTPURLResponse>& response,
                    const platform::Bytes& data, const std::optional<platform::Error>& error);
  // On the database queue.
  void processAnswerSync(const std::vector<std::string>& batchIds, const platform::Bytes& data,
                         const OVAdDatabaseHandle& database);
  void releaseFromTransit(const std::vector<std::string>& eventIds);

  const OVAdEventManagerEnvironment environment_;
  const std::string sessionId_;
  const double sessionStartTime_;
  OVAdConcurrentArray<std::string> eventsInTransit_;
  std::shared_ptr<OVAdTimer> dispatchTimer_;

  // On the database queue only.
  bool tablesMissing_ = true;

  std::mutex pendingMutex_;
  std::vector<PendingLog> pendingLogs_;
  // A store task is queued and has not yet taken the waiting calls.
  bool storeScheduled_ = false;
};

}  // namespace plexora
