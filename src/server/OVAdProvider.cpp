#include "server/OVAdProvider.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <string>
#include <utility>

#include "dto/OVAdBidPayload.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/MainPostBatch.h"
#include "platform/net/URLError.h"
#include "plexora/OVAdSettings.h"
#include "server/OVAdEnvironmentData.h"
#include "server/OVAdLoadThrottle.h"
#include "server/OVAdURLSession.h"
#include "server/OVAdURLSessionTaskContainer.h"
#include "util/OVAdError.h"
#include "util/OVAdLogger.h"

namespace plexora {
namespace {

constexpr const char* kPostMethod = "POST";
constexpr const char* kMakingFirstRequestMessage = "Making first request to %s";
constexpr const char* kRequestParametersMessage = "Ad request parameters:";
constexpr const char* kRequestParameterMessage = "    %s = %s";
constexpr const char* kRequestErrorMessage = "Ad request error: %s";
constexpr const char* kCancelledRequestsMessage = "Cancelled %lu active network requests";
constexpr const char* kUrlDetailKey = "url";
constexpr const char* kNoValueText = "(null)";
constexpr long kStatusOK = 200;
// The largest ad answer read. A real one, a placement's few candidates with
// their markup and trackers, is some tens of kilobytes and stays far below
// a megabyte; a larger one is a fault or a hostile server, and reading it
// whole would cost the host memory and parse time for nothing. It fails as
// a server error (the session logs the cause, "resource exceeds maximum
// size") once its announced length or its first 4 MiB show it is larger.
constexpr std::size_t kLargestAdAnswer = std::size_t{4} * 1024 * 1024;

// The order of a localised comparison for the ASCII keys the request uses:
// letter case aside first.
bool localizedLess(const std::string& a, const std::string& b) {
  const auto lower = [](unsigned char c) { return std::tolower(c); };
  const bool less = std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                                 [&](char x, char y) { return lower(x) < lower(y); });
  const bool greater = std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(),
                                                    [&](char x, char y) { return lower(x) < lower(y); });
  return less || (!greater && a < b);
}

bool isTimeout(const platform::Error& error) {
  return error.domain() == platform::kURLErrorDomain && error.code() == platform::kURLErrorTimedOut;
}

}  // namespace

std::shared_ptr<OVAdProvider> OVAdProvider::init() { return initWithDelegate({}); }

std::shared_ptr<OVAdProvider> OVAdProvider::initWithDelegate(std::weak_ptr<OVAdProviderDelegate> delegate) {
  return initWithDelegate(std::move(delegate), nullptr);
}

std::shared_ptr<OVAdProvider> OVAdProvider::initWithDelegate(std::weak_ptr<OVAdProviderDelegate> delegate,
                                                             std::shared_ptr<OVAdURLSession> session) {
  return std::shared_ptr<OVAdProvider>(new OVAdProvider(std::move(delegate), std::move(session)));
}

OVAdProvider::OVAdProvider(std::weak_ptr<OVAdProviderDelegate> delegate, std::shared_ptr<OVAdURLSession> session)
    : delegate_(std::move(delegate)), session_(std::move(session)) {
  destroy();
}

OVAdProvider::~OVAdProvider() = default;

void OVAdProvider::loadAdWithEnvironmentData(std::shared_ptr<OVAdEnvironmentData> environmentData) {
  if (!environmentData) {
    return;
  }
  if (OVAdConnectionUtility::shouldThrottleFrequentLoadForEnvironmentData(environmentData.get())) {
    auto cached = OVAdConnectionUtility::cachedResponseForEnvironmentData(environmentData.get());
    if (cached) {
      dispatchSuccess(std::move(cached));
    } else {
      destroy();
      dispatchError(OVAdError::getNSError(kOVAdErrorCodeLoadTooFrequently));
    }
    return;
  }
  ++loadGeneration_;
  // Made when a parse needs it: an answer from the server is parsed where it
  // arrives.
  parsingQueue_.reset();
  requestQueue_.clear();
  adParser_ = std::make_shared<OVAdProviderResponseParser>();
  environmentData_ = std::move(environmentData);
  if (maybeHandleBidPayload(environmentData_->bidPayload())) {
    return;
  }
  makeFirstAdRequestWithParameters(environmentData_->adRequestParameters());
}

bool OVAdProvider::maybeHandleBidPayload(const std::shared_ptr<const OVAdBidPayload>& bidPayload) {
  if (!bidPayload || !bidPayload->hasServerResponse()) {
    return false;
  }
  parseResponseFromData(*bidPayload->serverResponse());
  return true;
}

void OVAdProvider::makeFirstAdRequestWithParameters(platform::Dictionary parameters) {
  const std::string deliveryUrl = OVAdSettings::getDeliveryEndpoint();
  OV_LOG(kOVAdLogLevelDebug, kMakingFirstRequestMessage, deliveryUrl.c_str());
  logRequestParameters(parameters);

  const std::weak_ptr<OVAdProvider> weakSelf = weak_from_this();
  const std::uint64_t generation = loadGeneration_;
  auto handler = [weakSelf, generation, deliveryUrl, parser = adParser_](
                     const std::shared_ptr<OVAdURLSessionTaskContainer>&,
                     const std::optional<platform::HTTPURLResponse>& response, const platform::Bytes& data,
                     const std::optional<platform::Error>& error, double) {
    if (weakSelf.expired()) {
      return;
    }
    // Parsed where the answer arrives, on the session's transfer thread and
    // off the main thread, so that it crosses threads once, to the main
    // queue, ready to use. Whether it still belongs to the running load is
    // only known there. What the parse queues for the main queue (the
    // conversion cookies) goes with the outcome: the main thread wakes once.
    const platform::MainPostBatch batch;
    if (isSuccessfulAnswer(response, error)) {
      ParseOutcome parsed = parse(*parser, data);
      // Only an answer that is neither ads nor an error is described.
      std::optional<std::string> responseText;
      if (needsResponseText(parsed)) {
        responseText = responseExcerpt(data);
      }
      platform::DispatchQueue::main()->async([weakSelf, generation, parsed = std::move(parsed),
                                              responseText = std::move(responseText)]() mutable {
        const auto self = weakSelf.lock();
        if (self && self->loadGeneration_ == generation) {
          self->handleParsedAnswer(std::move(parsed), std::move(responseText));
        }
      });
      return;
    }
    // The server's error document, if any, is read on the main queue.
    platform::DispatchQueue::main()->async(
        [weakSelf, generation, deliveryUrl, response, body = data, error]() {
          const auto self = weakSelf.lock();
          if (self && self->loadGeneration_ == generation) {
            self->handleAdResponse(response, body, error, deliveryUrl);
          }
        });
  };
  const std::shared_ptr<OVAdURLSession> session = session_ ? session_ : OVAdURLSession::sharedSession();
  platform::URLRequest request =
      OVAdURLSession::urlRequestWithURL(deliveryUrl, kPostMethod, platform::Value(std::move(parameters)));
  request.maximumBodyLength = kLargestAdAnswer;
  requestQueue_.push_back(session->requestWithURLRequest(std::move(request), std::move(handler),
                                                         OVAdURLSession::HandlerThread::TransferThread));
}

void OVAdProvider::logRequestParameters(const platform::Dictionary& parameters) const {
  if (OVAdSettings::getLogLevel() <= 0) {
    return;
  }
  OV_LOG(kOVAdLogLevelLog, "%s", kRequestParametersMessage);
  std::vector<std::pair<std::string, std::string>> lines;
  lines.reserve(parameters.size());
  for (const auto& [key, value] : parameters) {
    lines.emplace_back(key, value.text().value_or(kNoValueText));
  }
  std::sort(lines.begin(), lines.end(), [](const auto& a, const auto& b) { return localizedLess(a.first, b.first); });
  for (const auto& [key, value] : lines) {
    OV_LOG(kOVAdLogLevelLog, kRequestParameterMessage, key.c_str(), value.c_str());
  }
}

bool OVAdProvider::needsResponseText(const ParseOutcome& parsed) {
  const auto* response = std::get_if<std::shared_ptr<OVAdProviderResponse>>(&parsed);
  return !response || !*response ||
         ((*response)->type() != OVAdProviderResponseType::Ads && (*response)->type() != OVAdProviderResponseType::Error);
}

bool OVAdProvider::isSuccessfulAnswer(const std::optional<platform::HTTPURLResponse>& response,
                                      const std::optional<platform::Error>& error) {
  return !error && response && response->statusCode == kStatusOK;
}

void OVAdProvider::handleAdResponse(const std::optional<platform::HTTPURLResponse>& response,
                                    const platform::Bytes& data, const std::optional<platform::Error>& error,
                                    const std::string& deliveryUrl) {
  OVAdConnectionUtility::setLastLoadTime(platform::Clock::current()->wallTime(), environmentData_.get());
  if (isSuccessfulAnswer(response, error)) {
    parseResponseFromData(data);
    return;
  }
  destroy();
  if (!delegate()) {
    return;
  }
  const std::int64_t code = error && isTimeout(*error) ? kOVAdErrorCodeNetworkError : kOVAdErrorCodeServerError;
  std::optional<platform::ByteView> body;
  if (!data.empty()) {
    body = platform::ByteView(data);
  }
  dispatchError(OVAdError::getErrorFromJSON(body, code, std::nullopt, platform::Dictionary{{kUrlDetailKey, deliveryUrl}}));
}

void OVAdProvider::handleParsedAnswer(ParseOutcome parsed, std::optional<std::string> responseText) {
  OVAdConnectionUtility::setLastLoadTime(platform::Clock::current()->wallTime(), environmentData_.get());
  handleParseOutcome(std::move(parsed), std::move(responseText));
}

void OVAdProvider::dispatchError(platform::Error error) {
  OV_LOG(kOVAdLogLevelError, kRequestErrorMessage, error.localizedDescription().c_str());
  const std::weak_ptr<OVAdProvider> weakSelf = weak_from_this();
  const std::uint64_t generation = cancelGeneration_;
  platform::DispatchQueue::main()->async([weakSelf, generation, error = std::move(error)] {
    const auto self = weakSelf.lock();
    if (!self || self->cancelGeneration_ != generation) {
      return;
    }
    if (const auto delegate = self->delegate()) {
      delegate->onAdRequestError(error);
    }
  });
}

void OVAdProvider::dispatchSuccess(std::shared_ptr<OVAdProviderResponseAds> response) {
  const std::weak_ptr<OVAdProvider> weakSelf = weak_from_this();
  const std::uint64_t generation = cancelGeneration_;
  platform::DispatchQueue::main()->async([weakSelf, generation, response = std::move(response)] {
    const auto self = weakSelf.lock();
    if (!self || self->cancelGeneration_ != generation) {
      return;
    }
    if (const auto delegate = self->delegate()) {
      delegate->onAdRequestSuccess(response);
    }
  });
}

void OVAdProvider::cancel() {
  if (parsingQueue_) {
    parsingQueue_->cancelAllOperations();
  }
  unsigned long cancelled = 0;
  for (const auto& container : requestQueue_) {
    if (container && container->state() == platform::URLSessionTaskState::Running) {
      container->cancel();
      ++cancelled;
    }
  }
  if (cancelled > 0) {
    OV_LOG(kOVAdLogLevelDebug, kCancelledRequestsMessage, cancelled);
  }
  ++cancelGeneration_;
  destroy();
}

void OVAdProvider::destroy() {
  ++loadGeneration_;
  adParser_.reset();
  parsingQueue_.reset();
  requestQueue_.clear();
  environmentData_.reset();
}

}  // namespace plexora
