#include "tracking/OVAdClientEvent.h"

#include <utility>

namespace plexora {

namespace {

constexpr const char* kClientEventNameKey = "name";
constexpr const char* kClientEventDataKey = "data";
constexpr const char* kClientEventTimeKey = "time";
constexpr const char* kClientEventRequestIdKey = "request_id";

}  // namespace

std::shared_ptr<const OVAdClientEvent> OVAdClientEvent::create(std::optional<std::string> name, platform::Value data,
                                                               std::optional<std::int64_t> time,
                                                               std::optional<std::string> requestId) {
  if (!name || !data.isDictionary() || !time) {
    return nullptr;
  }
  return std::shared_ptr<const OVAdClientEvent>(
      new OVAdClientEvent(std::move(*name), std::move(data), *time, requestId ? std::move(*requestId) : ""));
}

OVAdClientEvent::OVAdClientEvent(std::string name, platform::Value data, std::int64_t time, std::string requestId)
    : name_(std::move(name)), data_(std::move(data)), time_(time), requestId_(std::move(requestId)) {}

platform::Value OVAdClientEvent::getClientEventDictionary() const {
  return platform::Dictionary{
      {kClientEventNameKey, name_},
      {kClientEventDataKey, data_},
      {kClientEventTimeKey, time_},
      {kClientEventRequestIdKey, requestId_},
  };
}

}  // namespace plexora
