// The provider's parse of an answer (from the server or a bid payload's
// creative) and what it makes of the parsed response.
#include <string>
#include <utility>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Utf8.h"
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

}  // namespace

OVAdProvider::ParseOutcome OVAdProvider::parse(const OVAdProviderResponseParser& parser, platform::ByteView data) {
  ParseOutcome outcome;
  parser.parseResponseFromData(
      data, [&](std::shared_ptr<OVAdProviderResponse> response) { outcome = std::move(response); },
      [&](const std::string& message) { outcome = message; });
  return outcome;
}

std::optional<std::string> OVAdProvider::responseExcerpt(platform::ByteView data) {
  const std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
  if (!platform::isValidUTF8(text)) {
    return std::nullopt;
  }
  return std::string(platform::utf8Prefix(text, kLargestResponseExcerpt));
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
    ParseOutcome outcome = parse(*parser, data);
    std::optional<std::string> responseText;
    if (needsResponseText(outcome)) {
      responseText = responseExcerpt(data);
    }
    platform::DispatchQueue::main()->async([weakSelf, generation, outcome = std::move(outcome),
                                            responseText = std::move(responseText)]() mutable {
      const auto self = weakSelf.lock();
      if (self && self->loadGeneration_ == generation) {
        self->handleParseOutcome(std::move(outcome), std::move(responseText));
      }
    });
  });
  *slot = operation;
  if (!parsingQueue_) {
    parsingQueue_ = platform::OperationQueue::create(kParsingQueueName);
  }
  parsingQueue_->addOperation(std::move(operation));
}

void OVAdProvider::handleParseOutcome(ParseOutcome outcome, std::optional<std::string> responseText) {
  if (auto* response = std::get_if<std::shared_ptr<OVAdProviderResponse>>(&outcome)) {
    handleParsedResponse(*response, std::move(responseText));
  } else {
    handleParseError(std::get<std::string>(outcome), std::move(responseText));
  }
}

void OVAdProvider::handleParsedResponse(const std::shared_ptr<OVAdProviderResponse>& response,
                                        std::optional<std::string> responseText) {
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
  if (responseText) {
    detail.set(kResponseDetailKey, std::move(*responseText));
  }
  destroy();
  dispatchError(OVAdError::getNSError(kOVAdErrorCodeInternalError, std::nullopt, std::move(detail)));
}

void OVAdProvider::handleParseError(const std::string& message, std::optional<std::string> responseText) {
  OV_LOG(kOVAdLogLevelError, kParseErrorMessage, message.c_str());
  platform::Dictionary detail{{kErrorDetailKey, message}, {kResponseDetailKey, std::move(responseText).value_or("")}};
  destroy();
  dispatchError(OVAdError::getNSError(kOVAdErrorCodeInternalError, std::nullopt, std::move(detail)));
}

}  // namespace plexora
