// The provider's parse of an answer (from the server or a bid payload's
// creative) and what it makes of the parsed response.
#include <string>
#include <utility>

#include "platform/dispatch/DispatchQueue.h"
#include "server/OVAdLoadThrottle.h"
#include "server/OVAdEnvironmentData.h"
#include "server/OVAdProvider.h"
#include "util/OVAdError.h"
#include "util/OVAdLogger.h"

namespace plexora {
namespace {

constexpr const char* kParsedResponseTypeMessage = "Parsed response type %u";
constexpr const char* kAdReceivedMessage = "Ad received successfully";
constexpr const char* kParseErrorMessage = "parseErrorOccurred: %s";
constexpr const char* kMessageDetailKey = "msg";
constexpr const char* kResponseDetailKey = "response";
constexpr const char* kErrorDetailKey = "error";
constexpr const char* kParsingQueueName = "com.plexora.ads.provider.parsing";

// The body as text, when it is UTF-8.
std::optional<std::string> utf8Text(const platform::Bytes& data) {
  std::string text(data.begin(), data.end());
  // The JSON writer refuses exactly the strings that are not UTF-8.
  if (!platform::toJSON(platform::Value(text))) {
    return std::nullopt;
  }
  return text;
}

}  // namespace

OVAdProvider::ParseOutcome OVAdProvider::parse(const OVAdProviderResponseParser& parser, platform::ByteView data) {
  ParseOutcome outcome;
  parser.parseResponseFromData(
      data, [&](std::shared_ptr<OVAdProviderResponse> response) { outcome = std::move(response); },
      [&](const std::string& message) { outcome = message; });
  return outcome;
}

void OVAdProvider::parseResponseFromData(platform::Bytes data) {
  const std::weak_ptr<OVAdProvider> weakSelf = weak_from_this();
  const std::uint64_t generation = loadGeneration_;
  const auto slot = std::make_shared<std::weak_ptr<platform::Operation>>();
  const std::shared_ptr<OVAdProviderResponseParser> parser = adParser_;
  auto operation = platform::Operation::fromTask([weakSelf, generation, slot, parser, data = std::move(data)] {
    const auto operation = slot->lock();
    if (!operation || operation->isCancelled() || weakSelf.expired()) {
      return;
    }
    // The outcome hops to the main queue, where the provider's state lives,
    // and is given up there when the load has ended meanwhile (cancel ends
    // it).
    platform::DispatchQueue::main()->async([weakSelf, generation, data, outcome = parse(*parser, data)]() mutable {
      const auto self = weakSelf.lock();
      if (self && self->loadGeneration_ == generation) {
        self->handleParseOutcome(std::move(outcome), data);
      }
    });
  });
  *slot = operation;
  if (!parsingQueue_) {
    parsingQueue_ = platform::OperationQueue::create(kParsingQueueName);
  }
  parsingQueue_->addOperation(std::move(operation));
}

void OVAdProvider::handleParseOutcome(ParseOutcome outcome, const platform::Bytes& data) {
  if (auto* response = std::get_if<std::shared_ptr<OVAdProviderResponse>>(&outcome)) {
    handleParsedResponse(*response, data);
  } else {
    handleParseError(std::get<std::string>(outcome), data);
  }
}

void OVAdProvider::handleParsedResponse(const std::shared_ptr<OVAdProviderResponse>& response,
                                        const platform::Bytes& data) {
  OV_LOG(kOVAdLogLevelDebug, kParsedResponseTypeMessage, static_cast<unsigned>(response->type()));
  const OVAdEnvironmentData* environment = environmentData_.get();
  if (response->type() == OVAdProviderResponseType::Error) {
    const auto& error = static_cast<const OVAdProviderResponseError&>(*response);
    if (error.adPlacementDefinition()) {
      OVAdConnectionUtility::setLastRefreshThreshold(error.adPlacementDefinition()->refreshThreshold(), environment);
    }
    const std::int64_t code = error.errorCode();
    platform::Dictionary detail{{kMessageDetailKey, error.errorMessage()}};
    destroy();
    dispatchError(OVAdError::getNSError(code, std::nullopt, std::move(detail)));
    return;
  }
  if (response->type() == OVAdProviderResponseType::Ads) {
    auto ads = std::static_pointer_cast<OVAdProviderResponseAds>(response);
    const auto& placement = ads->adPlacement();
    if (!placement) {
      destroy();
      dispatchError(OVAdError::getNSError(kOVAdErrorCodeNoFill));
      return;
    }
    if (placement->definition()) {
      OVAdConnectionUtility::setLastRefreshThreshold(placement->definition()->refreshThreshold(), environment);
    }
    OVAdConnectionUtility::setCachedResponse(ads, environment);
    destroy();
    OV_LOG(kOVAdLogLevelLog, "%s", kAdReceivedMessage);
    dispatchSuccess(std::move(ads));
    return;
  }
  platform::Dictionary detail;
  if (const auto text = utf8Text(data)) {
    detail.set(kResponseDetailKey, *text);
  }
  destroy();
  dispatchError(OVAdError::getNSError(kOVAdErrorCodeInternalError, std::nullopt, std::move(detail)));
}

void OVAdProvider::handleParseError(const std::string& message, const platform::Bytes& data) {
  OV_LOG(kOVAdLogLevelError, kParseErrorMessage, message.c_str());
  platform::Dictionary detail{{kErrorDetailKey, message}, {kResponseDetailKey, utf8Text(data).value_or("")}};
  destroy();
  dispatchError(OVAdError::getNSError(kOVAdErrorCodeInternalError, std::nullopt, std::move(detail)));
}

}  // namespace plexora
