#include "dto/OVAdBidPayload.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>

#include "util/OVAdAdvertisingIdentifier.h"
#include "util/OVAdError.h"
#include "util/OVAdUtility.h"

namespace plexora {
namespace {

using platform::Value;

constexpr const char* kBidIDKey = "bid_id";
constexpr const char* kTypeKey = "type";
constexpr const char* kPayloadKey = "payload";
constexpr const char* kSDKVersionKey = "sdk_version";
constexpr const char* kPlacementIDKey = "placement_id";
constexpr const char* kTemplateKey = "template";
constexpr const char* kDeviceIDKey = "device_id";

constexpr const char* kInvalidBidPayloadMessage = "Invalid bid payload";
constexpr const char* kSDKVersionMismatchMessage = "Bid %s for SDK version %s being used on SDK version %s";
constexpr const char* kPlacementMismatchMessage = "Bid %s for placement %s being used on placement %s";
constexpr const char* kTemplateMismatchMessage = "Bid %s for type %ld being used on template %ld";
constexpr const char* kDeviceIDMismatchMessage = "Bid %s for device id %s being used on device id %s";

constexpr const char* kNoText = "(null)";

std::string format(const char* format, auto... arguments) {
  const int length = std::snprintf(nullptr, 0, format, arguments...);
  std::string text(static_cast<std::size_t>(std::max(length, 0)) + 1, '\0');
  std::snprintf(text.data(), text.size(), format, arguments...);
  text.resize(static_cast<std::size_t>(std::max(length, 0)));
  return text;
}

void fail(std::optional<platform::Error>* error, const std::string& description) {
  if (error != nullptr) {
    *error = OVAdError::getNSError(kOVAdErrorCodeInternalError, description);
  }
}

// The whole text as a signed 64-bit decimal number: digits with an optional
// leading "-", nothing else, within range.
std::optional<std::int64_t> bidIDFromText(const std::string& text) {
  std::int64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, failure] = std::from_chars(text.data(), end, value);
  if (failure != std::errc() || stop != end) return std::nullopt;
  return value;
}

bool equalsIgnoringCase(std::string_view text, std::string_view other) {
  return std::ranges::equal(text, other, [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
  });
}

// The string under `key`; none when absent. Sets `wrongType` for a present
// value that is no string.
std::optional<std::string> stringEntry(const Value& payload, const char* key, bool& wrongType) {
  const Value* value = payload.find(key);
  if (value == nullptr) return std::nullopt;
  if (!value->isString()) {
    wrongType = true;
    return std::nullopt;
  }
  return value->asString();
}

std::string bidIDText(const Value& payload) {
  const Value* bidID = payload.find(kBidIDKey);
  return bidID != nullptr && bidID->isString() ? bidID->asString() : kNoText;
}

}  // namespace

bool OVAdBidPayload::hasServerResponse() const { return payloadType_ == kOVAdBidPayloadTypeCreative; }

bool OVAdBidPayload::hasBidID() const { return payloadType_ != kOVAdBidPayloadTypeEmpty; }

std::shared_ptr<OVAdBidPayload> OVAdBidPayload::initWithJsonData(std::string_view jsonData,
                                                                 const std::string& placementID,
                                                                 std::int64_t templateID,
                                                                 std::optional<platform::Error>* error) {
  std::shared_ptr<OVAdBidPayload> bidPayload(new OVAdBidPayload());
  const std::optional<Value> payload = OVAdUtility::getObjectFromJSONString(jsonData);
  if (!payload || !payload->isDictionary()) {
    fail(error, kInvalidBidPayloadMessage);
    return nullptr;
  }

  bool wrongType = false;
  const std::optional<std::string> bidID = stringEntry(*payload, kBidIDKey, wrongType);
  const std::optional<std::int64_t> bidIDValue = bidID ? bidIDFromText(*bidID) : std::nullopt;
  if (!bidIDValue) {
    fail(error, kInvalidBidPayloadMessage);
    return nullptr;
  }
  bidPayload->payloadType_ = kOVAdBidPayloadTypeID;
  bidPayload->bidID_ = *bidIDValue;

  if (!isPayloadValid(*payload, placementID, templateID, error)) {
    return nullptr;
  }

  const std::optional<std::string> type = stringEntry(*payload, kTypeKey, wrongType);
  const std::optional<std::string> creative = stringEntry(*payload, kPayloadKey, wrongType);
  if (wrongType) {
    fail(error, kInvalidBidPayloadMessage);
    return nullptr;
  }
  if (type && equalsIgnoringCase(*type, kOVAdBidPayloadTypeCreative)) {
    if (!creative || creative->empty()) {
      fail(error, kInvalidBidPayloadMessage);
      return nullptr;
    }
    bidPayload->payloadType_ = kOVAdBidPayloadTypeCreative;
    bidPayload->serverResponse_ = platform::Bytes(creative->begin(), creative->end());
  }
  return bidPayload;
}

bool OVAdBidPayload::isPayloadValid(const Value& payload, const std::string& placementID, std::int64_t templateID,
                                    std::optional<platform::Error>* error) {
  if (!payload.isDictionary()) {
    fail(error, kInvalidBidPayloadMessage);
    return false;
  }
  const std::string bidID = bidIDText(payload);
  // Each check ends the validation at its first finding: a value of the
  // wrong type, or one that names something else.
  const auto mismatch = [error](bool wrongType, const std::string& message) {
    fail(error, wrongType ? kInvalidBidPayloadMessage : message);
    return false;
  };
  bool wrongType = false;

  const std::optional<std::string> sdkVersion = stringEntry(payload, kSDKVersionKey, wrongType);
  if (wrongType || (sdkVersion && *sdkVersion != kOVAdLibraryVersion)) {
    return mismatch(wrongType, format(kSDKVersionMismatchMessage, bidID.c_str(), sdkVersion.value_or("").c_str(),
                                      kOVAdLibraryVersion));
  }

  const std::optional<std::string> bidPlacementID = stringEntry(payload, kPlacementIDKey, wrongType);
  if (wrongType || (bidPlacementID && *bidPlacementID != placementID)) {
    return mismatch(wrongType, format(kPlacementMismatchMessage, bidID.c_str(), bidPlacementID.value_or("").c_str(),
                                      placementID.c_str()));
  }

  if (const Value* bidTemplate = payload.find(kTemplateKey)) {
    wrongType = !bidTemplate->isInteger();
    if (wrongType || bidTemplate->asInteger() != templateID) {
      return mismatch(wrongType, format(kTemplateMismatchMessage, bidID.c_str(),
                                        static_cast<long>(bidTemplate->asInteger()), static_cast<long>(templateID)));
    }
  }

  const std::optional<std::string> deviceID = stringEntry(payload, kDeviceIDKey, wrongType);
  const std::optional<std::string> currentDeviceID = deviceID ? getAdvertisingIdentifier() : std::nullopt;
  if (wrongType || (deviceID && deviceID != currentDeviceID)) {
    return mismatch(wrongType, format(kDeviceIDMismatchMessage, bidID.c_str(), deviceID.value_or("").c_str(),
                                      currentDeviceID ? currentDeviceID->c_str() : kNoText));
  }
  return true;
}

}  // namespace plexora
