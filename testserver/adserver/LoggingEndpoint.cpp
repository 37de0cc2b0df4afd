#include "testserver/adserver/LoggingEndpoint.h"

#include <nlohmann/json.hpp>

namespace plexora::testserver {

namespace {

constexpr const char* kPayloadField = "payload";
constexpr const char* kEventsKey = "events";
constexpr const char* kTokensKey = "tokens";
constexpr const char* kIdKey = "id";
constexpr const char* kTokenIdKey = "token_id";
constexpr const char* kTypeKey = "type";
constexpr const char* kCodeKey = "code";
constexpr const char* kJSONType = "application/json";
constexpr int kBadRequest = 400;

std::string stringAt(const nlohmann::json& object, const char* key) {
  if (!object.is_object()) return {};
  const auto found = object.find(key);
  return found != object.end() && found->is_string() ? found->get<std::string>() : std::string();
}

// The parsed payload when it has an "events" array and a "tokens" object.
std::optional<nlohmann::json> payloadOf(const RecordedRequest& request) {
  for (const auto& [name, value] : request.formFields()) {
    if (name != kPayloadField) continue;
    nlohmann::json payload = nlohmann::json::parse(value, nullptr, false);
    if (!payload.is_object()) return std::nullopt;
    const auto events = payload.find(kEventsKey);
    const auto tokens = payload.find(kTokensKey);
    if (events == payload.end() || !events->is_array() || tokens == payload.end() || !tokens->is_object()) {
      return std::nullopt;
    }
    return payload;
  }
  return std::nullopt;
}

}  // namespace

Response LoggingEndpoint::answer(const RecordedRequest& request) {
  const std::optional<nlohmann::json> payload = payloadOf(request);
  if (!payload) return Response::text(kBadRequest, "");
  const nlohmann::json& tokens = (*payload)[kTokensKey];

  nlohmann::json answer = nlohmann::json::array();
  std::lock_guard lock(mutex_);
  ++batches_;
  for (const nlohmann::json& event : (*payload)[kEventsKey]) {
    AcknowledgedEvent received;
    received.eventId = stringAt(event, kIdKey);
    received.tokenId = stringAt(event, kTokenIdKey);
    received.token = stringAt(tokens, received.tokenId.c_str());
    received.type = stringAt(event, kTypeKey);
    received.code = codeFor(received.eventId);
    if (received.code) {
      answer.push_back({{kIdKey, received.eventId}, {kCodeKey, *received.code}});
    }
    events_.push_back(std::move(received));
  }
  Response response = Response::text(200, answer.dump());
  response.headers = {{"Content-Type", kJSONType}};
  return response;
}

std::optional<std::string> LoggingEndpoint::codeFor(const std::string& eventId) {
  const auto script = scripts_.find(eventId);
  if (script == scripts_.end() || script->second.empty()) return defaultCode_;
  std::optional<std::string> code = std::move(script->second.front());
  script->second.pop_front();
  return code;
}

void LoggingEndpoint::setDefaultCode(std::optional<std::string> code) {
  std::lock_guard lock(mutex_);
  defaultCode_ = std::move(code);
}

void LoggingEndpoint::scriptCodes(const std::string& eventId, std::vector<std::optional<std::string>> codes) {
  std::lock_guard lock(mutex_);
  auto& script = scripts_[eventId];
  script.insert(script.end(), codes.begin(), codes.end());
}

std::vector<AcknowledgedEvent> LoggingEndpoint::events() const {
  std::lock_guard lock(mutex_);
  return events_;
}

std::size_t LoggingEndpoint::batchCount() const {
  std::lock_guard lock(mutex_);
  return batches_;
}

void LoggingEndpoint::clear() {
  std::lock_guard lock(mutex_);
  scripts_.clear();
  events_.clear();
  batches_ = 0;
  defaultCode_ = kAcceptedCode;
}

}  // namespace plexora::testserver
