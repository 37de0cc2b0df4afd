#include "server/OVAdURLSession.h"

#include <utility>
#include <vector>

#include "platform/dispatch/Clock.h"
#include "platform/foundation/URL.h"
#include "platform/net/URLError.h"
#include "platform/web/HeadlessWebView.h"
#include "plexora/OVAdSettings.h"
#include "util/OVAdLogger.h"
#include "util/OVAdSettingsInternal.h"
#include "util/OVAdTimer.h"
#include "util/OVAdUtility.h"

namespace plexora {

namespace {

constexpr const char* kDelegateQueueLabel = "com.plexora.ads.urlsession";
constexpr const char* kUserAgentField = "User-Agent";
constexpr const char* kBuiltInUserAgentFormat = "User agent still unknown %.1f s after the first poll; sending %s";

// On the monotonic clock: a wall clock set while a request is out would
// make its duration anything.
double secondsSince(double start) { return platform::Clock::current()->monotonicTime() - start; }

}  // namespace

std::shared_ptr<OVAdURLSession> OVAdURLSession::sharedSession() {
  // Never destroyed: requests may complete while the process exits.
  static const auto* const shared = new std::shared_ptr<OVAdURLSession>([] {
    auto session = create([](auto answer) { OVAdUtility::currentUserAgentWithBlock(std::move(answer)); });
    followSettings(session);
    return session;
  }());
  return *shared;
}

std::shared_ptr<OVAdURLSession> OVAdURLSession::create(UserAgentSource userAgentSource) {
  std::shared_ptr<OVAdURLSession> session(new OVAdURLSession(std::move(userAgentSource)));
  updateSession(session);
  return session;
}

OVAdURLSession::OVAdURLSession(UserAgentSource userAgentSource)
    : userAgentSource_(std::move(userAgentSource)),
      delegateQueue_(platform::DispatchQueue::createSerial(kDelegateQueueLabel)) {}

OVAdURLSession::~OVAdURLSession() {
  if (userAgentTimer_) {
    userAgentTimer_->invalidate();
  }
}

void OVAdURLSession::followSettings(const std::shared_ptr<OVAdURLSession>& session) {
  OVAdSettingsInternal::setSSLValidationHook([weakSession = std::weak_ptr<OVAdURLSession>(session)](bool disabled) {
    if (const auto strongSession = weakSession.lock()) {
      strongSession->setSSLValidationDisabled(disabled);
    }
  });
  const std::optional<std::string> prefix = OVAdSettings::urlPrefix();
  session->setSSLValidationDisabled(prefix.has_value() && !prefix->empty());
}

// ---- Waiting for the user agent ----

void OVAdURLSession::updateSession(const std::shared_ptr<OVAdURLSession>& session) {
  const platform::DispatchQueuePtr pollQueue = platform::DispatchQueue::global(platform::QueuePriority::Background);
  const std::weak_ptr<OVAdURLSession> weakSession = session;
  {
    std::lock_guard lock(session->mutex_);
    // Restarting a running poll on every request would push its first tick
    // out for as long as requests keep coming.
    if (session->session_ || session->userAgentTimer_) {
      return;
    }
    session->userAgentTimer_ = OVAdTimer::scheduledTimerWithTimeInterval(
        kUserAgentPollInterval, true, pollQueue, [weakSession](const std::shared_ptr<OVAdTimer>&) {
          if (const auto strongSession = weakSession.lock()) {
            strongSession->pollUserAgent();
          }
        });
  }
  // The first ask goes out now, not a tick later: an agent that is known
  // already (the started web engine's) lets the first request leave at once.
  // The timer only repeats the ask while none is known.
  pollQueue->async([weakSession] {
    if (const auto strongSession = weakSession.lock()) {
      strongSession->pollUserAgent();
    }
  });
}

void OVAdURLSession::restartUserAgentPollForTesting(const std::shared_ptr<OVAdURLSession>& session) {
  std::shared_ptr<OVAdTimer> timer;
  {
    std::lock_guard lock(session->mutex_);
    if (session->session_) {
      return;
    }
    timer = std::move(session->userAgentTimer_);
    session->userAgentTimer_.reset();
  }
  if (timer) {
    timer->invalidate();
  }
  updateSession(session);
}

void OVAdURLSession::pollUserAgent() {
  std::optional<double> waited;
  {
    std::lock_guard lock(mutex_);
    if (session_) {
      return;
    }
    const double now = platform::Clock::current()->monotonicTime();
    if (!firstPoll_) {
      firstPoll_ = now;
    }
    if (now - *firstPoll_ >= kUserAgentWaitLimit) {
      waited = now - *firstPoll_;
    } else if (askingForUserAgent_) {
      return;
    } else {
      askingForUserAgent_ = true;
    }
  }

  if (waited) {
    const std::optional<std::string> builtIn =
        OVAdUtility::generateUserAgentStringFromRawString(platform::kHeadlessWebViewDefaultUserAgent);
    // Ticks may overlap on the concurrent queue: only the one that builds
    // the session tells.
    if (buildSession(*builtIn)) {
      OV_LOG(kOVAdLogLevelError, kBuiltInUserAgentFormat, *waited, builtIn->c_str());
    }
    return;
  }

  userAgentSource_([weakSession = weak_from_this()](const std::optional<std::string>& userAgent) {
    if (!userAgent || userAgent->empty()) {
      return;
    }
    if (const auto strongSession = weakSession.lock()) {
      strongSession->buildSession(*userAgent);
    }
  });
  std::lock_guard lock(mutex_);
  askingForUserAgent_ = false;
}

bool OVAdURLSession::buildSession(const std::string& userAgent) {
  std::shared_ptr<OVAdTimer> timer;
  {
    std::lock_guard lock(mutex_);
    if (session_) {
      return false;
    }
    platform::URLSessionConfiguration configuration = defaultConfiguration();
    configuration.additionalHTTPHeaders.set(kUserAgentField, userAgent);
    session_ = std::make_shared<platform::URLSession>(std::move(configuration), delegateQueue_);
    userAgent_ = userAgent;
    timer = std::move(userAgentTimer_);
    userAgentTimer_.reset();
  }
  if (timer) {
    timer->invalidate();
  }
  emptyQueue();
  return true;
}

bool OVAdURLSession::valid() const {
  std::lock_guard lock(mutex_);
  return session_ != nullptr;
}

std::optional<std::string> OVAdURLSession::userAgent() const {
  std::lock_guard lock(mutex_);
  return userAgent_;
}

// ---- Waiting requests ----

void OVAdURLSession::enqueueOrExecuteRequest(RequestBlock block) {
  if (!block) {
    return;
  }
  bool works = false;
  bool runsNow = false;
  {
    std::lock_guard lock(mutex_);
    works = session_ != nullptr;
    // Only when nothing waits does running it here keep the order.
    runsNow = works && waitingBlocks_ == 0;
    if (!runsNow) {
      ++waitingBlocks_;
      queue_.pushObject(std::move(block));
    }
  }
  if (runsNow) {
    block();
  } else if (works) {
    emptyQueue();
  } else {
    updateSession(shared_from_this());
  }
}

void OVAdURLSession::emptyQueue() {
  if (!valid()) {
    updateSession(shared_from_this());
    return;
  }
  // One callback runs every waiting block in order; handing each to a
  // concurrent queue on its own could start them in any order.
  queue_.popAll([weakSession = weak_from_this()](std::vector<RequestBlock> blocks) {
    for (const RequestBlock& block : blocks) {
      block();
    }
    if (const auto session = weakSession.lock()) {
      std::lock_guard lock(session->mutex_);
      session->waitingBlocks_ -= blocks.size();
    }
  });
}

// ---- Sending ----

std::shared_ptr<OVAdURLSessionTaskContainer> OVAdURLSession::requestWithURL(
    const std::string& url, const std::optional<std::string>& httpMethod, const platform::Value& queryParameters,
    ResponseHandler handler, HandlerThread handlerThread) {
  return requestWithURLRequest(urlRequestWithURL(url, httpMethod, queryParameters), std::move(handler),
                               handlerThread);
}

std::shared_ptr<OVAdURLSessionTaskContainer> OVAdURLSession::requestWithURLRequest(platform::URLRequest request,
                                                                                   ResponseHandler handler,
                                                                                   HandlerThread handlerThread) {
  // One handler shared by the cancellation and the completion: a copy for
  // each would copy everything it captured.
  auto sharedHandler = std::make_shared<const ResponseHandler>(std::move(handler));
  auto container = OVAdURLSessionTaskContainer::create(
      [queue = delegateQueue_, sharedHandler](const std::shared_ptr<OVAdURLSessionTaskContainer>& cancelled) {
        queue->async([cancelled, sharedHandler] {
          if (*sharedHandler) {
            (*sharedHandler)(cancelled, std::nullopt, {}, platform::makeURLError(platform::kURLErrorCancelled),
                             secondsSince(cancelled->requestStart()));
          }
        });
      });
  // A block runs once, so it hands its request on instead of copying it.
  enqueueOrExecuteRequest([weakSession = weak_from_this(), request = std::move(request), container,
                           sharedHandler = std::move(sharedHandler), handlerThread]() mutable {
    if (const auto session = weakSession.lock()) {
      session->startTask(std::move(request), container, std::move(sharedHandler), handlerThread);
    }
  });
  return container;
}

void OVAdURLSession::startTask(platform::URLRequest request,
                               const std::shared_ptr<OVAdURLSessionTaskContainer>& container,
                               std::shared_ptr<const ResponseHandler> handler, HandlerThread handlerThread) {
  // Blocks run only once the session works, and it never stops working.
  std::shared_ptr<platform::URLSession> session;
  {
    std::lock_guard lock(mutex_);
    session = session_;
  }
  platform::DataTaskOptions options;
  // The URL is only taken apart when its host may matter.
  if (isSSLValidationDisabled()) {
    const std::optional<platform::URL> url = platform::URL::parse(request.url);
    options.tlsVerificationDisabled = url.has_value() && acceptsServerTrustWithoutValidation(url->host());
  }
  options.completesOnTransferThread = handlerThread == HandlerThread::TransferThread;

  std::string requestURL = request.url;
  container->startTask([&] {
    return session->dataTask(
        std::move(request),
        [container, handler = std::move(handler), requestURL = std::move(requestURL)](
            platform::Bytes data, std::optional<platform::HTTPURLResponse> response,
            std::optional<platform::Error> error) {
          const double duration = secondsSince(container->requestStart());
          logCompletion(requestURL, response, data, error, duration);
          if (*handler) {
            (*handler)(container, response, data, error, duration);
          }
        },
        options);
  });
}

}  // namespace plexora
