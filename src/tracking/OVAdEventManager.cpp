// Creating the manager, its identity and endpoint, and the logging
// operations.
#include "tracking/OVAdEventManager.h"

#include <utility>

#include "platform/dispatch/Clock.h"
#include "platform/foundation/URL.h"
#include "platform/foundation/UUID.h"
#include "plexora/OVAdSettings.h"
#include "server/OVAdURLSession.h"
#include "util/OVAdConfigManager.h"
#include "util/OVAdLogger.h"
#include "util/OVAdSettingsInternal.h"
#include "util/OVAdTimer.h"

namespace plexora {

namespace {

constexpr const char* kImpressionType = "impression";
constexpr const char* kImpressionMissType = "impression_miss";
constexpr const char* kStoreClickType = "store";
constexpr const char* kLinkClickType = "open_link";
constexpr const char* kSnapshotType = "native_view";
constexpr const char* kVideoType = "video";
constexpr const char* kCloseType = "close";
constexpr const char* kBrowserSessionType = "browser_session";

constexpr std::uint64_t kSoonPriority = 0;
constexpr std::uint64_t kBatchPriority = 1;

constexpr const char* kDispatchingNowMessage = "Dispatching events now!";
constexpr const char* kWaitingMessage = "Waiting to dispatch events...";

double now() { return platform::Clock::current()->wallTime(); }

OVAdEventManagerEnvironment withSharedDefaults(OVAdEventManagerEnvironment environment) {
  if (!environment.databaseManager) {
    environment.databaseManager = OVAdDatabaseManager::sharedManager();
  }
  if (!environment.configManager) {
    environment.configManager = OVAdConfigManager::sharedManager();
  }
  if (!environment.urlSession) {
    environment.urlSession = OVAdURLSession::sharedSession();
  }
  return environment;
}

// A server of the library's own domain logs to the library's logging host;
// any other ad server (a development or a host's own one) takes the events
// itself.
std::string followedLoggingBaseURL() {
  const std::string adServer = OVAdSettings::adServerBaseURL();
  const auto adServerURL = platform::URL::parse(adServer);
  const auto loggingURL = platform::URL::parse(kOVAdLoggingBaseURL);
  if (!adServerURL || !loggingURL) {
    return kOVAdLoggingBaseURL;
  }
  const std::string& loggingHost = loggingURL->host();
  const auto firstDot = loggingHost.find('.');
  const std::string ownDomain = firstDot == std::string::npos ? loggingHost : loggingHost.substr(firstDot + 1);
  const std::string& host = adServerURL->host();
  const bool ownServer = host == ownDomain || (host.size() > ownDomain.size() &&
                                               host.compare(host.size() - ownDomain.size(), ownDomain.size(),
                                                            ownDomain) == 0 &&
                                               host[host.size() - ownDomain.size() - 1] == '.');
  return ownServer ? std::string(kOVAdLoggingBaseURL) : adServer;
}

}  // namespace

std::shared_ptr<OVAdEventManager> OVAdEventManager::sharedManager() {
  // Never destroyed: store work and requests may still run while the
  // process exits. Its events go where the configured ad server is.
  OVAdEventManagerEnvironment environment;
  environment.loggingBaseURL.clear();
  static const auto* const shared = new std::shared_ptr<OVAdEventManager>(create(std::move(environment)));
  return *shared;
}

std::shared_ptr<OVAdEventManager> OVAdEventManager::create(OVAdEventManagerEnvironment environment) {
  std::shared_ptr<OVAdEventManager> manager(new OVAdEventManager(withSharedDefaults(std::move(environment))));
  manager->start();
  return manager;
}

OVAdEventManager::OVAdEventManager(OVAdEventManagerEnvironment environment)
    : environment_(std::move(environment)), sessionId_(platform::makeUUIDString()), sessionStartTime_(now()) {}

OVAdEventManager::~OVAdEventManager() {
  if (dispatchTimer_) {
    dispatchTimer_->invalidate();
  }
}

void OVAdEventManager::start() {
  setupDatabaseWithCallback(nullptr);
  dispatchTimer_ = OVAdTimer::scheduledTimerWithTimeInterval(
      kDispatchInterval, true, [weakSelf = weak_from_this()](const std::shared_ptr<OVAdTimer>&) {
        if (const auto self = weakSelf.lock()) {
          self->dispatchEventsImmediately();
        }
      });
}

double OVAdEventManager::sessionTime() const { return now() - sessionStartTime_; }

std::string OVAdEventManager::eventURL() const {
  const std::string defaultURL =
      environment_.loggingBaseURL.empty() ? followedLoggingBaseURL() : environment_.loggingBaseURL;
  const std::string base =
      OVAdSettings::getBaseURLWithDefault(defaultURL, OVAdSettingsInternal::prefixedHostFormat(defaultURL));
  const std::optional<platform::URL> baseURL = platform::URL::parse(base);
  const std::optional<platform::URL> endpoint =
      baseURL ? platform::URL::resolve(kOVAdLoggingPath, *baseURL) : std::nullopt;
  return endpoint ? endpoint->absoluteString() : std::string();
}

// ---- Logging ----

void OVAdEventManager::logImpressionForToken(const std::string& token, ExtraData extraData) {
  logEventOfType(kImpressionType, kSoonPriority, token, std::move(extraData));
}

void OVAdEventManager::logImpressionMissForToken(const std::string& token, ExtraData extraData) {
  logEventOfType(kImpressionMissType, kBatchPriority, token, std::move(extraData));
}

void OVAdEventManager::logStoreClickForToken(const std::string& token, ExtraData extraData) {
  logEventOfType(kStoreClickType, kSoonPriority, token, std::move(extraData));
}

void OVAdEventManager::logLinkClickForToken(const std::string& token, ExtraData extraData) {
  logEventOfType(kLinkClickType, kSoonPriority, token, std::move(extraData));
}

void OVAdEventManager::logSnapshotForToken(const std::string& token, ExtraData extraData) {
  logEventOfType(kSnapshotType, kBatchPriority, token, std::move(extraData));
}

void OVAdEventManager::logVideoEventForToken(const std::string& token, ExtraData extraData) {
  logEventOfType(kVideoType, kSoonPriority, token, std::move(extraData));
}

void OVAdEventManager::logCloseEventForToken(const std::string& token, ExtraData extraData) {
  logEventOfType(kCloseType, kSoonPriority, token, std::move(extraData));
}

void OVAdEventManager::logBrowserSessionEventForToken(const std::string& token, ExtraData extraData) {
  logEventOfType(kBrowserSessionType, kBatchPriority, token, std::move(extraData));
}

void OVAdEventManager::logEventOfType(std::string type, std::uint64_t priority, const std::string& token,
                                      ExtraData extraData, Callback callback) {
  bool schedule = false;
  {
    std::lock_guard lock(pendingMutex_);
    pendingLogs_.push_back({std::move(type), priority, token, std::move(extraData), std::move(callback)});
    schedule = !storeScheduled_;
    storeScheduled_ = true;
  }
  if (schedule) {
    environment_.databaseManager->getDatabase(
        [self = shared_from_this()](const OVAdDatabaseHandle& database) { self->storePendingLogsSync(database); });
  }
}

void OVAdEventManager::takeDispatchDecision(const OVAdEvent& event) {
  if (shouldDispatchNow(event)) {
    OV_LOG(kOVAdLogLevelDebug, kDispatchingNowMessage);
    dispatchEvents();
  } else {
    OV_LOG(kOVAdLogLevelDebug, kWaitingMessage);
  }
}

}  // namespace plexora
