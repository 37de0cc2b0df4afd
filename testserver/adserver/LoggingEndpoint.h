// The ad server's event logging endpoint: reads the form field "payload"
// ({"events": [...], "tokens": {...}}) of a batch and answers a JSON array
// of {"id", "code"}, one object per event. Every event gets the default
// code ("1", accepted) unless the test scripted codes for its identifier.
//
// Thread safety: every member may be called from any thread; answer() runs
// on the server's handler threads, several at once.
#pragma once

#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "testserver/Exchange.h"

namespace plexora::testserver {

// One event of a batch as the server received and answered it.
struct AcknowledgedEvent {
  std::string eventId;
  std::string tokenId;
  // The client token the batch's "tokens" give for tokenId; "" when absent.
  std::string token;
  std::string type;
  // The code answered; none when the event was left out of the answer.
  std::optional<std::string> code;
};

class LoggingEndpoint final {
 public:
  // The code every event gets that has no script; "1" accepts.
  static constexpr const char* kAcceptedCode = "1";

  LoggingEndpoint() = default;
  LoggingEndpoint(const LoggingEndpoint&) = delete;
  LoggingEndpoint& operator=(const LoggingEndpoint&) = delete;

  // The answer to one batch: 400 with an empty body when the request holds
  // no readable payload (nothing is recorded then).
  Response answer(const RecordedRequest& request);

  // The code for events without a script of their own; none leaves them out
  // of the answer.
  void setDefaultCode(std::optional<std::string> code);
  // Codes for the next deliveries of one event, one per delivery in order
  // (a retry code such as "0" or "500", a refusal from "2000" to "2999",
  // none to leave the event out); once used up the default applies.
  void scriptCodes(const std::string& eventId, std::vector<std::optional<std::string>> codes);

  // Every event of every readable batch, in order of arrival.
  std::vector<AcknowledgedEvent> events() const;
  // How many batches were answered (readable ones).
  std::size_t batchCount() const;
  void clear();

 private:
  std::optional<std::string> codeFor(const std::string& eventId);

  mutable std::mutex mutex_;
  std::optional<std::string> defaultCode_ = kAcceptedCode;
  std::map<std::string, std::deque<std::optional<std::string>>> scripts_;
  std::vector<AcknowledgedEvent> events_;
  std::size_t batches_ = 0;
};

}  // namespace plexora::testserver
