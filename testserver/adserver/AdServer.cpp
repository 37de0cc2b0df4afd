#include "testserver/adserver/AdServer.h"

#include <nlohmann/json.hpp>

#include "testserver/RangeFile.h"
#include "testserver/adserver/FixtureMedia.h"

namespace plexora::testserver {

namespace {

using namespace std::chrono_literals;

constexpr const char* kPost = "POST";
constexpr const char* kJSONType = "application/json";
constexpr const char* kBannerFixture = "banner";
constexpr const char* kUnknownPlacementMessage = "Unknown placement";
constexpr std::int64_t kServerErrorCode = 2000;
constexpr int kServerFailureStatus = 500;
constexpr int kMethodNotAllowed = 405;
constexpr int kNotFound = 404;
constexpr auto kSlowDelay = 3s;

constexpr const char* kBidIDKey = "bid_id";
constexpr const char* kBidTypeKey = "type";
constexpr const char* kBidTypeCreative = "CREATIVE";
constexpr const char* kBidPayloadKey = "payload";
constexpr const char* kBidPlacementKey = "placement_id";
constexpr const char* kBidTemplateKey = "template";

// The library's shared session outlives a test's server: a kept-alive
// connection would hold the server's stop for a second.
Response closing(Response response) {
  response.headers.emplace_back("Connection", "close");
  return response;
}

// The text under `key`; empty when it is absent or no text (a fixture may
// be broken on purpose).
std::string textAt(const nlohmann::json& object, const char* key) {
  const auto found = object.find(key);
  return found != object.end() && found->is_string() ? found->get<std::string>() : std::string();
}

// What a fixture answers, in a few words.
std::string describeFixture(const std::string& text) {
  const nlohmann::json document = nlohmann::json::parse(text, nullptr, false);
  if (!document.is_object()) return "no JSON object";
  const std::string type = textAt(document, "type");
  const std::string message = textAt(document, "message");
  if (type != "ads") {
    const auto code = document.find("code");
    const std::string number = code != document.end() && code->is_number() ? " " + code->dump() : "";
    return type + number + (message.empty() ? "" : ": " + message);
  }
  const nlohmann::json* ads = nullptr;
  const auto placements = document.find("placements");
  if (placements != document.end() && placements->is_array() && !placements->empty() &&
      (*placements)[0].is_object() && (*placements)[0].contains("ads")) {
    ads = &(*placements)[0]["ads"];
  }
  if (ads == nullptr || !ads->is_array() || ads->empty()) return "ads: none";
  std::string adapters;
  for (const nlohmann::json& ad : *ads) {
    if (!adapters.empty()) adapters += ", ";
    const std::string adapter = ad.is_object() ? textAt(ad, "adapter") : std::string();
    adapters += adapter.empty() ? "?" : adapter;
  }
  return "ads: " + std::to_string(ads->size()) + " (" + adapters + ")";
}

std::string placementOf(const RecordedRequest& request) {
  for (const auto& [name, value] : request.formFields()) {
    if (name == kAdServerPlacementField) return value;
  }
  return {};
}

}  // namespace

AdServer::AdServer(std::filesystem::path fixtureDirectory, TestServerOptions options)
    : fixtures_(std::move(fixtureDirectory)), server_(options) {
  installBuiltInAnswers();
  server_.on(kAdServerAdPath, [this](const RecordedRequest& request) { return closing(answerLoad(request)); });
  server_.on(kAdServerLoggingPath, [this](const RecordedRequest& request) {
    return closing(request.method == kPost ? logging_.answer(request) : Response::text(kMethodNotAllowed, ""));
  });
  server_.on(kAdServerTrackerPrefix, closing(Response::text(200, "")), Match::Prefix);
  server_.on(kAdServerRewardPath, [](const RecordedRequest& request) {
    return closing(request.method == kPost ? Response::text(200, "") : Response::text(kMethodNotAllowed, ""));
  });
  server_.on(kFixtureMediaPrefix, [this](const RecordedRequest& request) { return closing(answerMedia(request)); },
             Match::Prefix);
}

std::vector<std::pair<std::string, std::string>> AdServer::placements(const FixtureLibrary& fixtures) {
  std::vector<std::pair<std::string, std::string>> list;
  for (const std::string& name : fixtures.names()) list.emplace_back(name, describeFixture(fixtures.read(name).value_or("")));
  list.emplace_back(kNotJSONPlacement, "built in: a body that is no JSON");
  list.emplace_back(kTruncatedPlacement, "built in: the banner cut off halfway");
  list.emplace_back(kServerFailurePlacement, "built in: HTTP 500");
  list.emplace_back(kDroppedPlacement, "built in: the connection dropped, no answer");
  list.emplace_back(kSlowPlacement, "built in: the banner after three seconds");
  return list;
}

void AdServer::start() { server_.start(); }

AdServer::~AdServer() { stop(); }

void AdServer::stop() { server_.stop(); }

std::string AdServer::adURL() const { return server_.url(kAdServerAdPath); }

std::string AdServer::loggingURL() const { return server_.url(kAdServerLoggingPath); }

std::string AdServer::trackerURL(std::string_view name) const {
  return server_.url(std::string(kAdServerTrackerPrefix) + std::string(name));
}

void AdServer::installBuiltInAnswers() {
  answers_.insert_or_assign(kNotJSONPlacement, AdAnswer::notJSON());
  answers_.insert_or_assign(kTruncatedPlacement, AdAnswer::truncated(kBannerFixture));
  answers_.insert_or_assign(
      kServerFailurePlacement,
      AdAnswer::error(kServerErrorCode, "Internal server error").withStatus(kServerFailureStatus));
  answers_.insert_or_assign(kDroppedPlacement, AdAnswer::noFill().dropped());
  answers_.insert_or_assign(kSlowPlacement, AdAnswer::fixture(kBannerFixture).delayed(kSlowDelay));
}

void AdServer::setAnswer(std::string placementID, AdAnswer answer) {
  std::lock_guard lock(mutex_);
  answers_.insert_or_assign(std::move(placementID), std::move(answer));
}

void AdServer::enqueueAnswer(std::string placementID, AdAnswer answer) {
  std::lock_guard lock(mutex_);
  oneShotAnswers_[std::move(placementID)].push_back(std::move(answer));
}

void AdServer::resetAnswers() {
  std::lock_guard lock(mutex_);
  answers_.clear();
  oneShotAnswers_.clear();
  installBuiltInAnswers();
}

AdAnswer AdServer::answerFor(const std::string& placementID) {
  std::lock_guard lock(mutex_);
  const auto queued = oneShotAnswers_.find(placementID);
  if (queued != oneShotAnswers_.end() && !queued->second.empty()) {
    AdAnswer answer = std::move(queued->second.front());
    queued->second.pop_front();
    return answer;
  }
  const auto set = answers_.find(placementID);
  return set != answers_.end() ? set->second : AdAnswer::fixture(placementID);
}

Response AdServer::answerLoad(const RecordedRequest& request) {
  if (request.method != kPost) return Response::text(kMethodNotAllowed, "");
  return responseOf(answerFor(placementOf(request)));
}

Response AdServer::answerMedia(const RecordedRequest& request) const {
  const std::string_view name = std::string_view(request.path).substr(std::string_view(kFixtureMediaPrefix).size());
  std::optional<FixtureImage> image = fixtureImage(fixtures_, name);
  if (!image) {
    const std::optional<std::string> video = mediaDirectory_ ? fixtureVideo(*mediaDirectory_, name) : std::nullopt;
    return video ? rangeFileAnswer(*video, request, {}) : Response::text(kNotFound, "");
  }
  Response response = Response::text(200, std::move(image->body));
  response.headers = {{"Content-Type", std::move(image->contentType)}};
  return response;
}

std::optional<std::string> AdServer::bodyOf(const AdAnswer& answer) const {
  std::optional<std::string> text =
      answer.source() == AdAnswer::Source::Fixture ? fixtures_.read(answer.text()) : answer.text();
  if (!text) return std::nullopt;
  std::string body = substituteBaseURL(std::move(*text), server_.baseURL());
  if (answer.isTruncated()) body.resize(body.size() / 2);
  return body;
}

Response AdServer::responseOf(const AdAnswer& answer) const {
  if (answer.dropsConnection()) return Response::dropped(answer.delay());
  std::optional<std::string> body = bodyOf(answer);
  if (!body) body = bodyOf(AdAnswer::error(kServerErrorCode, kUnknownPlacementMessage));
  Response response = Response::text(answer.status(), std::move(*body), answer.delay());
  response.headers = {{"Content-Type", kJSONType}};
  return response;
}

std::optional<std::string> AdServer::creativeBidPayload(const std::string& placementID, std::int64_t bidID,
                                                        std::int64_t templateID) const {
  std::optional<std::string> creative = bodyOf(AdAnswer::fixture(placementID));
  if (!creative) return std::nullopt;
  const nlohmann::ordered_json payload = {{kBidIDKey, std::to_string(bidID)},
                                          {kBidTypeKey, kBidTypeCreative},
                                          {kBidPayloadKey, *creative},
                                          {kBidPlacementKey, placementID},
                                          {kBidTemplateKey, templateID}};
  return payload.dump();
}

std::vector<RecordedRequest> AdServer::adRequests() const {
  std::vector<RecordedRequest> loads;
  for (RecordedRequest& request : server_.requests()) {
    if (request.path == kAdServerAdPath) loads.push_back(std::move(request));
  }
  return loads;
}

std::vector<TrackerHit> AdServer::trackerHits() const {
  const std::string_view prefix = kAdServerTrackerPrefix;
  std::vector<TrackerHit> hits;
  for (const RecordedRequest& request : server_.requests()) {
    if (!request.path.starts_with(prefix)) continue;
    const std::string_view name = std::string_view(request.path).substr(prefix.size());
    hits.push_back({request.method, percentDecode(name), request.queryItems()});
  }
  return hits;
}

std::vector<Fields> AdServer::rewardRequests() const {
  std::vector<Fields> rewards;
  for (const RecordedRequest& request : server_.requests()) {
    if (request.path == kAdServerRewardPath && request.method == kPost) rewards.push_back(request.formFields());
  }
  return rewards;
}

void AdServer::clearReceived() {
  server_.clearRequests();
  logging_.clear();
}

}  // namespace plexora::testserver
