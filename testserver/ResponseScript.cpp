#include "testserver/ResponseScript.h"

namespace plexora::testserver {

namespace {

constexpr int kNotFound = 404;

}  // namespace

ResponseScript::Route& ResponseScript::routeFor(std::string path, Match match) {
  return match == Match::Exact ? exact_[std::move(path)] : prefixes_[std::move(path)];
}

void ResponseScript::setRule(std::string path, AnswerFunction answer, Match match) {
  std::lock_guard lock(mutex_);
  routeFor(std::move(path), match).rule = std::move(answer);
}

void ResponseScript::enqueue(std::string path, Response response, Match match) {
  std::lock_guard lock(mutex_);
  routeFor(std::move(path), match).queued.push_back(std::move(response));
}

void ResponseScript::clear() {
  std::lock_guard lock(mutex_);
  exact_.clear();
  prefixes_.clear();
}

Response ResponseScript::answerFor(const RecordedRequest& request) {
  AnswerFunction rule;
  {
    std::lock_guard lock(mutex_);
    auto takeFrom = [&](Route& route) {
      if (!route.queued.empty()) return true;
      rule = route.rule;
      return static_cast<bool>(rule);
    };
    Route* chosen = nullptr;
    if (auto exact = exact_.find(request.path); exact != exact_.end() && takeFrom(exact->second)) {
      chosen = &exact->second;
    } else {
      // In descending order a longer prefix comes before the shorter ones it
      // extends ("/a/b" before "/a").
      for (auto& [prefix, route] : prefixes_) {
        if (request.path.starts_with(prefix) && takeFrom(route)) {
          chosen = &route;
          break;
        }
      }
    }
    if (chosen && !chosen->queued.empty()) {
      Response next = std::move(chosen->queued.front());
      chosen->queued.pop_front();
      return next;
    }
  }
  if (rule) return rule(request);
  Response notFound;
  notFound.status = kNotFound;
  return notFound;
}

}  // namespace plexora::testserver
