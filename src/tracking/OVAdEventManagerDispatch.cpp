// Sending the stored events: the delays, forming a batch, the payload, the
// request and the server's answer.
#include <sqlite3.h>

#include <cctype>
#include <cmath>
#include <limits>
#include <set>
#include <string_view>
#include <unordered_set>
#include <utility>

#include "platform/dispatch/DispatchQueue.h"
#include "plexora/OVAdSettings.h"
#include "server/OVAdURLSession.h"
#include "tracking/OVAdEventManager.h"
#include "util/OVAdConfigManager.h"
#include "util/OVAdDynamicFrameworkLoader.h"
#include "util/OVAdLogger.h"
#include "util/OVAdUtility.h"

namespace plexora {

namespace {

constexpr const char* kSelectEvents = "SELECT * FROM events";
constexpr const char* kSelectTokens = "SELECT * FROM tokens WHERE tokenId IN (SELECT value FROM json_each(?))";

constexpr const char* kPostMethod = "POST";
constexpr const char* kPayloadKey = "payload";
constexpr const char* kEventsKey = "events";
constexpr const char* kTokensKey = "tokens";
constexpr const char* kAnswerIdKey = "id";
constexpr const char* kAnswerCodeKey = "code";
constexpr long kStatusOK = 200;

constexpr const char* kBatchMessage = "Logging %lu event%s with %lu token%s to %s...";
constexpr const char* kEventMessage = "Logging event of type %s with event ID %s with token ID %s";
constexpr const char* kTokenMessage = "Logging token with token ID: %s";
constexpr const char* kInternalRequestMessage = "Internal request: %s %s %s";
constexpr const char* kLoggedMessage = "Event with event ID %s logged successfully.";
constexpr const char* kFailedMessage = "Event with event ID %s failed.";
constexpr const char* kRetryingMessage = "Event with event ID %s failed. Retrying...";
constexpr const char* kNone = "(null)";

constexpr std::int64_t kSuccessCode = 1;
// A dispatch delay this long (about 31 years) or longer stands for the far
// future; shorter ones still fit 64-bit nanoseconds many times over.
constexpr double kLongestDispatchDelay = 1.0e9;
constexpr std::int64_t kFirstFinalFailureCode = 2000;
constexpr std::int64_t kLastFinalFailureCode = 2999;

const char* pluralSuffix(std::size_t count) { return count > 1 ? "s" : ""; }

std::string jsonArrayOf(const std::set<std::string>& identifiers) {
  platform::Array array(identifiers.begin(), identifiers.end());
  return OVAdUtility::getJSONStringFromObject(platform::Value(std::move(array))).value_or("[]");
}

// The string under `key`; anything else counts as absent.
std::optional<std::string> stringEntry(const platform::Value& object, std::string_view key) {
  const platform::Value* value = object.find(key);
  if (value == nullptr || !value->isString()) {
    return std::nullopt;
  }
  return value->asString();
}

std::string describe(const std::optional<platform::HTTPURLResponse>& response) {
  if (!response) {
    return kNone;
  }
  std::string text = "<HTTPURLResponse: ";
  text += response->url;
  text += " status ";
  text += std::to_string(response->statusCode);
  text += ">";
  return text;
}

std::string describe(const platform::Bytes& data) {
  std::string text = "<";
  text += std::to_string(data.size());
  text += " bytes>";
  return text;
}

std::string describe(const std::optional<platform::Error>& error) {
  if (!error) {
    return kNone;
  }
  std::string text = "<Error ";
  text += error->domain();
  text += " ";
  text += std::to_string(error->code());
  text += ": ";
  text += error->localizedDescription();
  text += ">";
  return text;
}

}  // namespace

// ---- When ----

void OVAdEventManager::dispatchEvents() {
  // The delay is honoured to the whole nanosecond, truncated. It comes from
  // the server: one that is not a positive number means no delay, and one
  // too long to count in nanoseconds (infinite included) means the far
  // future rather than an overflow.
  const double configured = environment_.configManager->unifiedLoggingImmediateDelay();
  double delay = 0.0;
  if (configured >= kLongestDispatchDelay) {
    delay = kLongestDispatchDelay;
  } else if (configured > 0) {
    delay = std::trunc(configured * 1e9) / 1e9;
  }
  platform::DispatchQueue::main()->after(delay, [weakSelf = weak_from_this()] {
    if (const auto self = weakSelf.lock()) {
      self->dispatchEventsImmediately();
    }
  });
}

void OVAdEventManager::retryDispatch() {
  platform::DispatchQueue::main()->after(kRetryDelay, [weakSelf = weak_from_this()] {
    if (const auto self = weakSelf.lock()) {
      self->dispatchEvents();
    }
  });
}

void OVAdEventManager::dispatchEventsImmediately() {
  environment_.databaseManager->getDatabase(
      [self = shared_from_this()](const OVAdDatabaseHandle& database) { self->formBatchSync(database); });
}

// ---- What ----

void OVAdEventManager::formBatchSync(const OVAdDatabaseHandle& database) {
  createTablesSync(database);
  const std::int64_t limit = environment_.configManager->unifiedLoggingEventLimit();
  environment_.databaseManager->queryWithStatementSync(
      kSelectEvents, database, [self = shared_from_this(), database, limit](sqlite3_stmt* rows) {
        // Reading, leaving out and marking happen in this one task, and every
        // batch is formed on this queue: no event goes into two batches.
        // Events in transit are passed over before the limit counts, so a
        // batch that never gets its answer cannot hold back later events.
        const std::vector<std::string> inTransit = self->eventsInTransit_.nonConcurrentCopy();
        const std::unordered_set<std::string> leftOut(inTransit.begin(), inTransit.end());
        const std::size_t capacity =
            limit > 0 ? static_cast<std::size_t>(limit) : std::numeric_limits<std::size_t>::max();
        std::vector<OVAdEvent> batch;
        while (rows != nullptr && batch.size() < capacity && ovadsdk_dfl_sqlite3_step(rows) == SQLITE_ROW) {
          std::optional<OVAdEvent> event = OVAdEvent::deserializeFromSqlite(rows);
          if (event && !leftOut.contains(event->eventId())) {
            batch.push_back(std::move(*event));
          }
        }
        // A row read under a new identifier leaves only once it holds that
        // identifier, so the server's answer can delete it.
        std::erase_if(batch, [&](const OVAdEvent& event) {
          return event.storedEventId() && !self->writeBackEventIdSync(event, database);
        });
        if (batch.empty()) {
          return;
        }
        std::set<std::string> tokenIds;
        for (const OVAdEvent& event : batch) {
          self->eventsInTransit_.addObject(event.eventId());
          tokenIds.insert(event.tokenId());
        }
        self->queryTokensSyncWithStatement(
            OVAdSQLStatement(kSelectTokens, {jsonArrayOf(tokenIds)}), database,
            [self, batch = std::move(batch)](std::vector<OVAdEventToken> tokens) mutable {
              self->sendBatch(std::move(batch), std::move(tokens));
            });
      });
}

void OVAdEventManager::sendBatch(std::vector<OVAdEvent> batch, std::vector<OVAdEventToken> tokens) {
  const std::string url = eventURL();
  OV_LOG(kOVAdLogLevelDebug, kBatchMessage, static_cast<unsigned long>(batch.size()), pluralSuffix(batch.size()),
         static_cast<unsigned long>(tokens.size()), pluralSuffix(tokens.size()), url.c_str());

  platform::Array events;
  std::vector<std::string> batchIds;
  events.reserve(batch.size());
  batchIds.reserve(batch.size());
  for (const OVAdEvent& event : batch) {
    OV_LOG(kOVAdLogLevelDebug, kEventMessage, event.type().c_str(), event.eventId().c_str(), event.tokenId().c_str());
    event.logStatusMessage();
    events.emplace_back(event.payloadDictionary());
    batchIds.push_back(event.eventId());
  }
  for (const OVAdEventToken& token : tokens) {
    OV_LOG(kOVAdLogLevelDebug, kTokenMessage, token.tokenId().c_str());
  }

  platform::Dictionary payload{{kEventsKey, std::move(events)}, {kTokensKey, OVAdEventToken::payloadDictionary(tokens)}};
  const platform::Value parameters(platform::Dictionary{{kPayloadKey, std::move(payload)}});
  sendRequestInternal(url, parameters,
                      [self = shared_from_this(), batchIds = std::move(batchIds)](
                          const std::optional<platform::HTTPURLResponse>& response, const platform::Bytes& data,
                          const std::optional<platform::Error>& error) {
                        self->handleAnswer(batchIds, response, data, error);
                      });
}

void OVAdEventManager::sendRequestInternal(const std::string& url, const platform::Value& parameters,
                                           AnswerHandler handler) {
  platform::URLRequest request = OVAdURLSession::urlRequestWithURL(url, kPostMethod, parameters);
  request.timeoutInterval = environment_.requestTimeout;
  environment_.urlSession->requestWithURLRequest(
      std::move(request),
      [handler = std::move(handler)](const std::shared_ptr<OVAdURLSessionTaskContainer>&,
                                     const std::optional<platform::HTTPURLResponse>& response,
                                     const platform::Bytes& data, const std::optional<platform::Error>& error,
                                     double) {
        if (handler) {
          handler(response, data, error);
        }
      });
}

// ---- The answer ----

void OVAdEventManager::handleAnswer(const std::vector<std::string>& batchIds,
                                    const std::optional<platform::HTTPURLResponse>& response,
                                    const platform::Bytes& data, const std::optional<platform::Error>& error) {
  if (OVAdSettings::getLogLevel() >= kOVAdLogLevelVerbose) {
    OV_LOG(kOVAdLogLevelVerbose, kInternalRequestMessage, describe(response).c_str(), describe(data).c_str(),
           describe(error).c_str());
  }
  if (!response) {
    // The transport failed: the next dispatch takes the events again.
    releaseFromTransit(batchIds);
    return;
  }
  if (error || response->statusCode != kStatusOK) {
    releaseFromTransit(batchIds);
    retryDispatch();
    return;
  }
  environment_.databaseManager->getDatabase(
      [self = shared_from_this(), batchIds, data](const OVAdDatabaseHandle& database) {
        self->processAnswerSync(batchIds, data, database);
      });
}

void OVAdEventManager::processAnswerSync(const std::vector<std::string>& batchIds, const platform::Bytes& data,
                                         const OVAdDatabaseHandle& database) {
  // Every event of the batch is free for the next one, named in the answer
  // or not; those kept stay stored and go again. Releasing here, in the same
  // task as the deletion, keeps a deleted event out of any later batch.
  releaseFromTransit(batchIds);

  const std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
  const std::optional<platform::Value> answer = OVAdUtility::getObjectFromJSONString(text);
  if (!answer || !answer->isArray()) {
    return;
  }
  // Only this batch's events are acted on: an answer must not delete an
  // event that it was not sent, which may be in another batch right now.
  const std::unordered_set<std::string> batch(batchIds.begin(), batchIds.end());
  std::vector<std::string> toDelete;
  bool retryDue = false;
  for (const platform::Value& entry : answer->asArray()) {
    const std::optional<std::string> eventId = stringEntry(entry, kAnswerIdKey);
    if (!eventId || !batch.contains(*eventId)) {
      continue;
    }
    const std::optional<std::string> code = stringEntry(entry, kAnswerCodeKey);
    if (isEventSuccessful(code)) {
      OV_LOG(kOVAdLogLevelDebug, kLoggedMessage, eventId->c_str());
      toDelete.push_back(*eventId);
    } else if (!isEventRetriable(code)) {
      OV_LOG(kOVAdLogLevelDebug, kFailedMessage, eventId->c_str());
      toDelete.push_back(*eventId);
    } else {
      OV_LOG(kOVAdLogLevelDebug, kRetryingMessage, eventId->c_str());
      retryDue = true;
    }
  }
  cleanupEventsSync(toDelete, database);
  if (retryDue) {
    retryDispatch();
  }
}

void OVAdEventManager::releaseFromTransit(const std::vector<std::string>& eventIds) {
  for (const std::string& eventId : eventIds) {
    eventsInTransit_.removeObject(eventId);
  }
}

// ---- Codes ----

std::int64_t OVAdEventManager::integerValueOfCode(const std::optional<std::string>& code) {
  if (!code) {
    return 0;
  }
  std::size_t position = 0;
  while (position < code->size() && std::isspace(static_cast<unsigned char>((*code)[position]))) {
    ++position;
  }
  bool negative = false;
  if (position < code->size() && ((*code)[position] == '-' || (*code)[position] == '+')) {
    negative = (*code)[position] == '-';
    ++position;
  }
  // Saturates rather than overflowing on an absurdly long number.
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  std::int64_t magnitude = 0;
  for (; position < code->size() && std::isdigit(static_cast<unsigned char>((*code)[position])); ++position) {
    const std::int64_t digit = (*code)[position] - '0';
    magnitude = magnitude > (kMax - digit) / 10 ? kMax : magnitude * 10 + digit;
  }
  return negative ? -magnitude : magnitude;
}

bool OVAdEventManager::isEventSuccessful(const std::optional<std::string>& code) {
  return integerValueOfCode(code) == kSuccessCode;
}

bool OVAdEventManager::isEventRetriable(const std::optional<std::string>& code) {
  const std::int64_t value = integerValueOfCode(code);
  return value < kFirstFinalFailureCode || value > kLastFinalFailureCode;
}

}  // namespace plexora
