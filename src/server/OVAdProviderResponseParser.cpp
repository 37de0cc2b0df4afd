#include "server/OVAdProviderResponseParser.h"

#include <cstdarg>
#include <exception>
#include <stdexcept>
#include <string_view>
#include <utility>
#include <vector>

#include "util/OVAdDictionary.h"
#include "util/OVAdError.h"
#include "util/OVAdLogger.h"

namespace plexora {

namespace {

constexpr const char* kTypeKey = "type";
constexpr const char* kCodeKey = "code";
constexpr const char* kMessageKey = "message";
constexpr const char* kPlacementsKey = "placements";
constexpr const char* kDefinitionKey = "definition";
constexpr const char* kFeatureConfigKey = "feature_config";
constexpr const char* kAdsKey = "ads";
constexpr const char* kAdapterKey = "adapter";
constexpr const char* kDataKey = "data";
constexpr const char* kTrackersKey = "trackers";

constexpr const char* kTypeAds = "ads";
constexpr const char* kTypeError = "error";

constexpr const char* kParsingFormat = "Parsing JSON data (%lu bytes)";
constexpr const char* kJSONFailureFormat = "Failed to parse JSON string, code=%ld description=%s";
constexpr const char* kJSONFailureDescription = "The data is not JSON text in UTF-8 within the nesting limit.";
constexpr const char* kUnknownFailureFormat = "Unknown error while parsing ad responses: %s";

constexpr const char* kDocumentNotAnObject = "the response is not a JSON object";
constexpr const char* kPlacementNotAnObject = "the first placement is not a JSON object";
constexpr const char* kAdNotAnObject = "an ad is not a JSON object";

std::string formatted(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string formatted(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  std::string text = OVAdFormatV(format, arguments);
  va_end(arguments);
  return text;
}

// The value under `key` when it is of the wanted kind (containers allow no
// recovery between kinds), read in place: an answer's placements and ads are
// large, and copying them for each look is most of the parse's cost.
const platform::Value* containerForKey(const platform::Value& dictionary, std::string_view key,
                                       platform::Value::Kind kind) {
  const platform::Value* value = dictionary.find(key);
  return value != nullptr && value->kind() == kind ? value : nullptr;
}

// The first element of a non-empty "placements" array when the document
// also has a numeric "code"; none otherwise.
const platform::Value* firstPlacement(const platform::Value& document) {
  const platform::Value* placements = containerForKey(document, kPlacementsKey, platform::Value::Kind::Array);
  if (placements == nullptr || placements->asArray().empty() || !numberForKeyOrNil(document, kCodeKey)) {
    return nullptr;
  }
  const platform::Value& placement = placements->asArray().front();
  if (!placement.isDictionary()) {
    throw std::invalid_argument(kPlacementNotAnObject);
  }
  return &placement;
}

platform::Value* firstPlacement(platform::Value& document) {
  return const_cast<platform::Value*>(firstPlacement(std::as_const(document)));
}

// Takes the ad's data out of the document, which is parsed for this
// response alone: a candidate's markup is the bulk of an answer.
std::shared_ptr<OVAdCandidate> candidateFromAd(platform::Value& ad, const platform::Value* featureConfig) {
  if (!ad.isDictionary()) {
    throw std::invalid_argument(kAdNotAnObject);
  }
  platform::Value* data = ad.find(kDataKey);
  platform::Dictionary candidateData =
      data != nullptr && data->isDictionary() ? std::move(data->mutableDictionary()) : platform::Dictionary{};
  if (featureConfig != nullptr) {
    candidateData.set(kFeatureConfigKey, *featureConfig);
  }
  platform::Value* trackers = ad.find(kTrackersKey);
  return std::make_shared<OVAdCandidate>(
      stringForKey(ad, kAdapterKey, ""), std::move(candidateData),
      trackers != nullptr && trackers->isArray() ? std::move(*trackers) : platform::Value(platform::Array{}));
}

std::shared_ptr<OVAdProviderResponse> adsResponse(platform::Value& document) {
  platform::Value* placement = firstPlacement(document);
  if (placement == nullptr) {
    return std::make_shared<OVAdProviderResponse>(OVAdProviderResponseType::Unknown);
  }
  const std::int64_t code = integerForKey(document, kCodeKey, 0);
  std::vector<std::shared_ptr<OVAdCandidate>> candidates;
  platform::Value* ads = placement->find(kAdsKey);
  if (code == 0 && ads != nullptr && ads->isArray()) {
    const platform::Value* featureConfig =
        containerForKey(*placement, kFeatureConfigKey, platform::Value::Kind::Dictionary);
    for (platform::Value& ad : ads->mutableArray()) {
      candidates.push_back(candidateFromAd(ad, featureConfig));
    }
  }
  auto adPlacement =
      std::make_shared<OVAdPlacement>(code, stringForKey(document, kMessageKey, ""),
                                      OVAdProviderResponseParser::parsePlacementDefinitionFromData(document),
                                      std::move(candidates));
  return std::make_shared<OVAdProviderResponseAds>(std::move(adPlacement));
}

std::shared_ptr<OVAdProviderResponse> responseOfDocument(platform::Value& document) {
  if (!document.isDictionary()) {
    throw std::invalid_argument(kDocumentNotAnObject);
  }
  const auto type = objectForKeyOrNil(document, kTypeKey);
  if (type && type->isString() && type->asString() == kTypeError) {
    return std::make_shared<OVAdProviderResponseError>(
        stringForKey(document, kMessageKey, ""), integerForKey(document, kCodeKey, kOVAdErrorCodeServerError),
        OVAdProviderResponseParser::parsePlacementDefinitionFromData(document));
  }
  if (type && type->isString() && type->asString() == kTypeAds) {
    return adsResponse(document);
  }
  return std::make_shared<OVAdProviderResponse>(OVAdProviderResponseType::Unknown);
}

}  // namespace

std::shared_ptr<OVAdPlacementDefinition> OVAdProviderResponseParser::parsePlacementDefinitionFromData(
    const platform::Value& document) {
  const platform::Value* placement = firstPlacement(document);
  if (placement == nullptr) {
    return nullptr;
  }
  static const platform::Value kNoDefinition;
  const platform::Value* definition = placement->find(kDefinitionKey);
  return OVAdPlacementDefinition::initWithPlacementData(definition != nullptr ? *definition : kNoDefinition);
}

void OVAdProviderResponseParser::parseResponseFromData(platform::ByteView data, const SuccessHandler& successHandler,
                                                       const ErrorHandler& errorHandler) const {
  OV_LOG(kOVAdLogLevelDebug, kParsingFormat, static_cast<unsigned long>(data.size()));
  bool isJSON = true;
  std::shared_ptr<OVAdProviderResponse> response;
  std::string failure;
  try {
    const std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
    auto document = platform::parseJSON(text);
    isJSON = document.has_value();
    if (isJSON) {
      response = responseOfDocument(*document);
    }
  } catch (const std::exception& exception) {
    failure = exception.what();
  }
  if (!isJSON) {
    errorHandler(formatted(kJSONFailureFormat, static_cast<long>(kOVAdJSONParseErrorCode), kJSONFailureDescription));
    return;
  }
  if (!response) {
    errorHandler(formatted(kUnknownFailureFormat, failure.c_str()));
    return;
  }
  successHandler(std::move(response));
}

}  // namespace plexora
