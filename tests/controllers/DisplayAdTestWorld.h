// The world an ad unit's tests load in: the environment's known facts on a
// manual clock, the loopback ad server under the settings' base URL, the
// shared URL session already working (its user agent fetched before the
// first poll), fresh load throttles, and documents for ad answers whose
// candidates name the test's adapters and trackers.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/MainLoop.h"
#include "plexora/OVAdSettings.h"
#include "server/OVAdEnvironmentDataTestEnvironment.h"
#include "server/OVAdLoadThrottle.h"
#include "server/OVAdURLSession.h"
#include "testserver/adserver/AdServer.h"
#include "tracking/OVAdEventManager.h"
#include "util/database/OVAdDatabaseManager.h"
#include "util/OVAdUtility.h"

namespace plexora::testing {

inline constexpr double kLoopbackWaitSeconds = 10.0;

// One candidate of an answer: its adapter identifier, its data (JSON text of
// an object) and the name of its "request" tracker (none for no trackers).
struct CandidateSpec {
  CandidateSpec(std::string adapter, std::string data = R"({"ct":"ct-test"})",
                std::optional<std::string> requestTracker = std::nullopt)
      : adapter(std::move(adapter)), data(std::move(data)), requestTracker(std::move(requestTracker)) {}

  std::string adapter;
  std::string data;
  std::optional<std::string> requestTracker;
};

// The value of a field of a tracker hit's query; "" when absent.
inline std::string field(const testserver::TrackerHit& hit, const std::string& key) {
  for (const auto& [name, value] : hit.query) {
    if (name == key) return value;
  }
  return "";
}

class DisplayAdTestWorld {
 public:
  DisplayAdTestWorld() {
    server_.start();
    OVAdSettings::setAdServerBaseURL(server_.baseURL());
    OVAdConnectionUtility::resetForTesting();
    // Shared with the block, which a slow web view may call after this.
    const auto answered = std::make_shared<bool>(false);
    OVAdUtility::currentUserAgentWithBlock([answered](const std::optional<std::string>&) { *answered = true; });
    platform::MainLoop::instance().runUntil([&] { return *answered; }, kLoopbackWaitSeconds);
    // The shared session's first poll finds the agent known.
    const auto session = OVAdURLSession::sharedSession();
    // An earlier test may have made the session under a clock that is gone.
    OVAdURLSession::restartUserAgentPollForTesting(session);
    environment_.clock().advance(OVAdURLSession::kUserAgentPollInterval);
    platform::MainLoop::instance().runUntil([&] { return session->valid(); }, kLoopbackWaitSeconds);
  }
  ~DisplayAdTestWorld() {
    OVAdConnectionUtility::resetForTesting();
    platform::DispatchQueue::settle();
  }
  DisplayAdTestWorld(const DisplayAdTestWorld&) = delete;
  DisplayAdTestWorld& operator=(const DisplayAdTestWorld&) = delete;

  // An ads answer of these candidates under a definition whose keys (JSON
  // members without braces, e.g. R"("refresh": 30)") are given.
  static testserver::AdAnswer answer(const std::vector<CandidateSpec>& candidates, const std::string& definition) {
    std::string ads;
    for (const CandidateSpec& candidate : candidates) {
      if (!ads.empty()) ads += ",";
      std::string trackers;
      if (candidate.requestTracker) {
        trackers = R"({"type":"request","url":"{{BASE_URL}}trackers/)" + *candidate.requestTracker + R"("})";
      }
      ads += R"({"adapter":")" + candidate.adapter + R"(","data":)" + candidate.data + R"(,"trackers":[)" +
             trackers + "]}";
    }
    return testserver::AdAnswer::document(R"({"type":"ads","code":0,"message":"","placements":[{"definition":{)" +
                                          definition + R"(},"ads":[)" + ads + "]}]}");
  }

  // Runs the main loop (real time) until `done` or the network wait is over.
  static bool waitFor(const std::function<bool()>& done) {
    return platform::MainLoop::instance().runUntil(done, kLoopbackWaitSeconds);
  }
  // Runs what is queued, the main queue included.
  static void settle() { platform::DispatchQueue::settle(); }
  // The main loop a little longer, for what should not come.
  static void runBriefly() { platform::MainLoop::instance().runUntil([] { return false; }, 0.2); }

  bool waitForTrackerHits(std::size_t count) {
    return waitFor([&] { return server_.trackerHits().size() >= count; });
  }
  std::optional<testserver::TrackerHit> trackerHit(const std::string& name) const {
    for (const testserver::TrackerHit& hit : server_.trackerHits()) {
      if (hit.name == name) return hit;
    }
    return std::nullopt;
  }

  platform::ManualClock& clock() { return environment_.clock(); }
  EnvironmentDataTestEnvironment& environment() { return environment_; }
  testserver::AdServer& server() { return server_; }
  const testserver::AdServer& server() const { return server_; }

  // An event manager of its own, storing in `databasePath` and sending to
  // this world's logging endpoint.
  std::shared_ptr<OVAdEventManager> makeEventManager(const std::filesystem::path& databasePath) const {
    auto database = OVAdDatabaseManager::create();
    database->setStoragePath(databasePath.string());
    OVAdEventManagerEnvironment environment;
    environment.databaseManager = database;
    environment.urlSession = OVAdURLSession::sharedSession();
    environment.loggingBaseURL = server_.baseURL();
    auto manager = OVAdEventManager::create(std::move(environment));
    settle();
    return manager;
  }

  // The events of every batch the logging endpoint received, as sent.
  std::vector<platform::Dictionary> loggedEvents() const {
    std::vector<platform::Dictionary> events;
    for (const auto& request : server_.requests()) {
      if (request.path != testserver::kAdServerLoggingPath) continue;
      for (const auto& [name, value] : request.formFields()) {
        if (name != "payload") continue;
        const auto payload = OVAdUtility::getObjectFromJSONString(value);
        if (!payload || !payload->find("events")) continue;
        for (const auto& event : payload->find("events")->asArray()) events.push_back(event.asDictionary());
      }
    }
    return events;
  }
  // Those of `type` among them.
  std::vector<platform::Dictionary> loggedEvents(const std::string& type) const {
    std::vector<platform::Dictionary> events;
    for (const auto& event : loggedEvents()) {
      if (event.find("type") && event.find("type")->text() == type) events.push_back(event);
    }
    return events;
  }
  // Those of `type` logged against the client token `token` (each batch
  // names its events' tokens).
  std::vector<platform::Dictionary> loggedEvents(const std::string& type, const std::string& token) const {
    std::vector<platform::Dictionary> events;
    for (const auto& request : server_.requests()) {
      if (request.path != testserver::kAdServerLoggingPath) continue;
      for (const auto& [name, value] : request.formFields()) {
        const auto payload = name == "payload" ? OVAdUtility::getObjectFromJSONString(value) : std::nullopt;
        if (!payload || !payload->find("events") || !payload->find("tokens")) continue;
        const platform::Value& tokens = *payload->find("tokens");
        for (const auto& event : payload->find("events")->asArray()) {
          const platform::Value* eventType = event.find("type");
          const platform::Value* tokenId = event.find("token_id");
          if (!eventType || eventType->text() != type || !tokenId || !tokenId->text()) continue;
          const platform::Value* named = tokens.find(*tokenId->text());
          if (named && named->text() == token) events.push_back(event.asDictionary());
        }
      }
    }
    return events;
  }

 private:
  EnvironmentDataTestEnvironment environment_;
  testserver::AdServer server_;
};

}  // namespace plexora::testing
