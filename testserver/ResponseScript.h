// The test server's answers, by path: a rule per path or path prefix (a
// fixed answer, or a function that computes the answer from the request),
// and queues of one-shot answers that are used up before the rule applies.
//
// Lookup for a request path: the exact path first, then the prefixes from
// the longest down; for each, its queue before its rule. No match answers
// 404 with an empty body.
//
// Thread safety: every member may be called from any thread. An answer
// function runs outside the script's lock, on a handler thread of the
// server, possibly several at once.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>

#include "testserver/Exchange.h"

namespace plexora::testserver {

using AnswerFunction = std::function<Response(const RecordedRequest& request)>;

class ResponseScript final {
 public:
  ResponseScript() = default;
  ResponseScript(const ResponseScript&) = delete;
  ResponseScript& operator=(const ResponseScript&) = delete;

  void setRule(std::string path, AnswerFunction answer, Match match);
  void enqueue(std::string path, Response response, Match match);
  void clear();

  Response answerFor(const RecordedRequest& request);

 private:
  struct Route {
    AnswerFunction rule;
    std::deque<Response> queued;
  };
  Route& routeFor(std::string path, Match match);

  std::mutex mutex_;
  std::map<std::string, Route> exact_;
  // Longest prefix first.
  std::map<std::string, Route, std::greater<>> prefixes_;
};

}  // namespace plexora::testserver
