#include "testserver/adserver/AdAnswer.h"

#include <nlohmann/json.hpp>

namespace plexora::testserver {

namespace {

constexpr const char* kTypeKey = "type";
constexpr const char* kCodeKey = "code";
constexpr const char* kMessageKey = "message";
constexpr const char* kPlacementsKey = "placements";
constexpr const char* kDefinitionKey = "definition";
constexpr const char* kAdsKey = "ads";
constexpr const char* kTypeError = "error";
constexpr const char* kTypeAds = "ads";
constexpr const char* kNotJSONText = "<html><body>502 Bad Gateway</body></html>";

}  // namespace

AdAnswer AdAnswer::fixture(std::string name) { return AdAnswer(Source::Fixture, std::move(name)); }

AdAnswer AdAnswer::document(std::string text) { return AdAnswer(Source::Document, std::move(text)); }

AdAnswer AdAnswer::error(std::optional<std::int64_t> code, std::string message) {
  nlohmann::ordered_json body = {{kTypeKey, kTypeError}};
  if (code) body[kCodeKey] = *code;
  body[kMessageKey] = std::move(message);
  return document(body.dump());
}

AdAnswer AdAnswer::noFill() {
  nlohmann::ordered_json placement = {{kDefinitionKey, nlohmann::json::object()}, {kAdsKey, nlohmann::json::array()}};
  nlohmann::ordered_json body = {
      {kTypeKey, kTypeAds}, {kCodeKey, 0}, {kMessageKey, ""}, {kPlacementsKey, nlohmann::json::array({placement})}};
  return document(body.dump());
}

AdAnswer AdAnswer::notJSON() { return document(kNotJSONText); }

AdAnswer AdAnswer::truncated(std::string fixtureName) {
  AdAnswer answer = fixture(std::move(fixtureName));
  answer.truncated_ = true;
  return answer;
}

AdAnswer AdAnswer::withStatus(int status) const {
  AdAnswer answer = *this;
  answer.status_ = status;
  return answer;
}

AdAnswer AdAnswer::delayed(std::chrono::milliseconds delay) const {
  AdAnswer answer = *this;
  answer.delay_ = delay;
  return answer;
}

AdAnswer AdAnswer::dropped() const {
  AdAnswer answer = *this;
  answer.dropsConnection_ = true;
  return answer;
}

}  // namespace plexora::testserver
