// The library's own ad server for tests and the demo, on the loopback test
// server: it answers loads by placement, records tracker hits and
// acknowledges logged events.
//
//   POST "network_ads_common/": the answer for the form field "PLACEMENT_ID":
//     a one-shot answer queued for it, else the answer set for it, else the
//     fixture file of that name; an unknown placement gets a server error.
//   "trackers/<name>": 200 with an empty body, recorded.
//   "media/<name>": the images the fixtures name (FixtureMedia.h), the
//     videos of the media directory when one is set, else 404.
//   POST "plxo_logging/": see LoggingEndpoint.h.
//   POST "plexora/server_side_reward": 200 with an empty body, recorded
//     (rewardRequests); server().enqueue scripts a fault for one.
// Every answer closes its connection, so a client session that outlives
// the server holds no connection for the server's stop to wait out.
//
//   AdServer server;
//   server.start();
//   OVAdSettings::setAdServerBaseURL(server.baseURL());
//   server.setAnswer("banner", AdAnswer::noFill().delayed(2s));
//
// Thread safety: every member may be called from any thread, also while
// requests are being served.
// Ownership: owns its test server (and so its threads); the logging
// endpoint lives as long as the ad server.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "testserver/TestServer.h"
#include "testserver/adserver/AdAnswer.h"
#include "testserver/adserver/FixtureLibrary.h"
#include "testserver/adserver/LoggingEndpoint.h"

namespace plexora::testserver {

inline constexpr const char* kAdServerAdPath = "/network_ads_common/";
inline constexpr const char* kAdServerLoggingPath = "/plxo_logging/";
inline constexpr const char* kAdServerTrackerPrefix = "/trackers/";
inline constexpr const char* kAdServerPlacementField = "PLACEMENT_ID";
inline constexpr const char* kAdServerRewardPath = "/plexora/server_side_reward";

// Placements every server answers without a fixture (setAnswer may change
// them): a body that is no JSON, a fixture cut off halfway, HTTP status 500,
// a dropped connection, and the banner after three seconds.
inline constexpr const char* kNotJSONPlacement = "malformed_not_json";
inline constexpr const char* kTruncatedPlacement = "malformed_truncated";
inline constexpr const char* kServerFailurePlacement = "server_failure";
inline constexpr const char* kDroppedPlacement = "connection_dropped";
inline constexpr const char* kSlowPlacement = "slow_banner";

// A request for a tracker URL the server received (a GET, or a POST when
// the tracker carries post data).
struct TrackerHit {
  std::string method;
  // The path after "trackers/", percent-decoded.
  std::string name;
  // The query's fields: the extra data a tracker is fired with.
  Fields query;
};

class AdServer final {
 public:
  explicit AdServer(std::filesystem::path fixtureDirectory = FixtureLibrary::defaultDirectory(),
                    TestServerOptions options = {});
  // Stops the server before any member goes: its handler threads read the
  // answers and the logging endpoint until then.
  ~AdServer();
  AdServer(const AdServer&) = delete;
  AdServer& operator=(const AdServer&) = delete;

  // Every placement a server over `fixtures` answers, by name, with what it
  // answers: the fixtures' (their kind and candidates' adapters) and the
  // built-in ones.
  static std::vector<std::pair<std::string, std::string>> placements(const FixtureLibrary& fixtures);

  // Where the fixtures' videos are served from (none by default: a test
  // serves the videos it plays itself). Set before start().
  void setMediaDirectory(std::filesystem::path directory) { mediaDirectory_ = std::move(directory); }

  // Throws std::runtime_error when the server cannot listen.
  void start();
  void stop();

  // What the library's ad server base URL is set to; ends with "/".
  std::string baseURL() const { return server_.baseURL(); }
  std::string adURL() const;
  std::string loggingURL() const;
  std::string trackerURL(std::string_view name) const;

  // The answer for a placement from now on.
  void setAnswer(std::string placementID, AdAnswer answer);
  // An answer for the placement's next load only, before its set answer;
  // several are used in the order queued.
  void enqueueAnswer(std::string placementID, AdAnswer answer);
  // Back to the built-in placements and the fixtures.
  void resetAnswers();

  // The body this server sends for an answer: the fixture or document with
  // its base URL filled in (cut short for a truncated one); none for a
  // fixture that does not exist.
  std::optional<std::string> bodyOf(const AdAnswer& answer) const;
  // A bid payload whose creative is the placement's fixture, as a bidding
  // server gives it to the application: {"bid_id", "type": "CREATIVE",
  // "payload", "placement_id", "template"}; none without the fixture.
  std::optional<std::string> creativeBidPayload(const std::string& placementID, std::int64_t bidID,
                                                std::int64_t templateID) const;

  const FixtureLibrary& fixtures() const { return fixtures_; }
  LoggingEndpoint& logging() { return logging_; }
  // The underlying server, for scripting faults of any path (its one-shot
  // answers are used before the ad server's own).
  TestServer& server() { return server_; }

  // Everything received, in order of arrival.
  std::vector<RecordedRequest> requests() const { return server_.requests(); }
  bool waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
    return server_.waitForRequests(count, timeout);
  }
  // The loads received, in order.
  std::vector<RecordedRequest> adRequests() const;
  std::vector<TrackerHit> trackerHits() const;
  // The form of each server-side reward received, in order.
  std::vector<Fields> rewardRequests() const;
  // Forgets the requests received and the logging endpoint's record and
  // scripts.
  void clearReceived();

 private:
  void installBuiltInAnswers();
  Response answerLoad(const RecordedRequest& request);
  Response answerMedia(const RecordedRequest& request) const;
  AdAnswer answerFor(const std::string& placementID);
  Response responseOf(const AdAnswer& answer) const;

  const FixtureLibrary fixtures_;
  std::optional<std::filesystem::path> mediaDirectory_;
  TestServer server_;
  LoggingEndpoint logging_;

  mutable std::mutex mutex_;
  std::map<std::string, AdAnswer> answers_;
  std::map<std::string, std::deque<AdAnswer>> oneShotAnswers_;
};

}  // namespace plexora::testserver
