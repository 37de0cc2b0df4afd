#include "plexora/OVAdSettings.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <utility>

#include "platform/dispatch/Clock.h"
#include "platform/foundation/URL.h"
#include "platform/foundation/UUID.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/value/Value.h"
#include "util/OVAdAdvertisingIdentifier.h"
#include "util/OVAdLogger.h"
#include "util/OVAdSettingsInternal.h"
#include "util/OVAdUtility.h"

namespace plexora {

namespace {

constexpr const char* kTestDevicesKey = "ov_px_test_devices";
constexpr const char* kLogLevelKey = "ov_px_log_lv";
constexpr const char* kUrlPrefixKey = "ov_px_url_prefix";
// What the system answers for the advertising identifier when it has none.
constexpr const char* kZeroAdvertisingIdentifier = "00000000-0000-0000-0000-000000000000";

constexpr const char* kDefaultAdServerBaseURL = "https://ads.plexora.example/";
constexpr const char* kDeliveryEndpointPath = "network_ads_common/";

constexpr const char* kTestDeviceHintMessage =
    "When testing your app with Orvane's ad units you must specify the device hashed ID to ensure the delivery of "
    "test ads, add the following code before loading an ad: [OVAdSettings addTestDevice:@\"%s\"]";
constexpr const char* kTestDeviceHashMessage = "Test mode device hash: %s";
constexpr const char* kLogLevelRefusedFormat = "Log level %lld refused: the levels run from %lld (nothing) to %lld (everything)";

constexpr std::int64_t kLowestLogLevel = 0;
constexpr std::int64_t kHighestLogLevel = 6;

// A session that stayed in the background longer than this is a new one.
constexpr double kSessionRenewalSeconds = 300.0;

struct SettingsState {
  std::optional<std::vector<std::string>> testDevices;  // loaded on first use
  std::optional<std::string> testDeviceHash;
  bool testModeHintGiven = false;

  bool urlPrefixLoaded = false;
  std::optional<std::string> urlPrefix;
  std::string adServerBaseURL = kDefaultAdServerBaseURL;

  bool childDirected = false;
  bool backgroundVideoPlaybackAllowed = false;
  std::string mediationService;
  std::int64_t mediaViewRenderingMethod = 0;
  std::int64_t testAdType = 0;

  std::string sessionID;
  // Stands for the session renewal's observer registration.
  std::shared_ptr<const void> sessionObserver;
  // Monotonic time the application last entered the background, until the
  // next becoming active consumes it.
  std::optional<double> backgroundEntryTime;

  OVAdSettingsInternal::SSLValidationHook sslValidationHook;
};

std::mutex stateMutex;
SettingsState& state() {
  static SettingsState settings;
  return settings;
}

// The level is read on every log call from any thread, so it lives outside
// the locked state.
std::mutex logLevelLoadMutex;
std::atomic<bool> logLevelLoaded{false};
std::atomic<std::int64_t> logLevel{0};

std::shared_ptr<platform::UserDefaults> defaults() { return platform::UserDefaults::standardUserDefaults(); }


std::vector<std::string>& loadedTestDevices(SettingsState& settings) {
  if (!settings.testDevices) {
    std::vector<std::string> devices;
    if (auto stored = defaults()->arrayForKey(kTestDevicesKey)) {
      for (const platform::Value& element : *stored) {
        if (element.isString() && std::find(devices.begin(), devices.end(), element.asString()) == devices.end()) {
          devices.push_back(element.asString());
        }
      }
    }
    settings.testDevices = std::move(devices);
  }
  return *settings.testDevices;
}

bool contains(const std::vector<std::string>& devices, const std::string& hash) {
  return std::find(devices.begin(), devices.end(), hash) != devices.end();
}

void writeTestDevices(const std::vector<std::string>& devices) {
  platform::Array array(devices.begin(), devices.end());
  defaults()->setObject(kTestDevicesKey, platform::Value(std::move(array)));
  defaults()->synchronize();
}

std::optional<std::string>& loadedUrlPrefix(SettingsState& settings) {
  if (!settings.urlPrefixLoaded) {
    settings.urlPrefixLoaded = true;
    auto stored = defaults()->stringForKey(kUrlPrefixKey);
    settings.urlPrefix = stored && !stored->empty() ? stored : std::nullopt;
  }
  return settings.urlPrefix;
}

// The format's "%s" replaced by the value and "%%" by "%"; other text as is.
std::string fillFormat(const std::string& format, const std::string& value) {
  std::string filled;
  bool placeholderUsed = false;
  for (std::size_t index = 0; index < format.size(); ++index) {
    if (format[index] == '%' && index + 1 < format.size()) {
      const char next = format[index + 1];
      if (next == '%') {
        filled += '%';
        ++index;
        continue;
      }
      if (next == 's' && !placeholderUsed) {
        filled += value;
        placeholderUsed = true;
        ++index;
        continue;
      }
    }
    filled += format[index];
  }
  return filled;
}

std::string escapedForFormat(std::string_view text) {
  std::string escaped;
  for (const char character : text) {
    escaped += character;
    if (character == '%') {
      escaped += '%';
    }
  }
  return escaped;
}

bool isAddressLiteral(std::string_view host) {
  return host.find(':') != std::string_view::npos ||
         std::all_of(host.begin(), host.end(), [](char c) { return c == '.' || (c >= '0' && c <= '9'); });
}

void recordBackgroundEntry() {
  const double now = platform::Clock::current()->monotonicTime();
  std::lock_guard lock(stateMutex);
  state().backgroundEntryTime = now;
}

void renewSessionAfterLongBackground() {
  const double now = platform::Clock::current()->monotonicTime();
  bool renew = false;
  {
    std::lock_guard lock(stateMutex);
    auto& entered = state().backgroundEntryTime;
    // Becoming active without a stay in the background (at launch, after an
    // interruption) continues the session.
    renew = entered && now - *entered > kSessionRenewalSeconds;
    entered.reset();
  }
  if (renew) {
    OVAdSettings::resetSessionID();
  }
}

}  // namespace

// ---- Test devices ----

std::string OVAdSettings::testDeviceHash() {
  {
    std::lock_guard lock(stateMutex);
    if (state().testDeviceHash) {
      return *state().testDeviceHash;
    }
  }
  const std::string hash = testHashForAdvertiserID(getAdvertisingIdentifier().value_or(kZeroAdvertisingIdentifier));
  std::lock_guard lock(stateMutex);
  if (!state().testDeviceHash) {
    state().testDeviceHash = hash;
  }
  return *state().testDeviceHash;
}

std::vector<std::string> OVAdSettings::testDevices() {
  std::lock_guard lock(stateMutex);
  return loadedTestDevices(state());
}

void OVAdSettings::persistTestDevices() {
  std::lock_guard lock(stateMutex);
  writeTestDevices(loadedTestDevices(state()));
}

void OVAdSettings::addTestDevice(const std::string& deviceHash) {
  std::lock_guard lock(stateMutex);
  auto& devices = loadedTestDevices(state());
  if (contains(devices, deviceHash)) {
    return;
  }
  devices.push_back(deviceHash);
  writeTestDevices(devices);
}

void OVAdSettings::addTestDevices(const std::vector<std::string>& deviceHashes) {
  std::lock_guard lock(stateMutex);
  auto& devices = loadedTestDevices(state());
  const bool allKnown = std::all_of(deviceHashes.begin(), deviceHashes.end(),
                                    [&devices](const std::string& hash) { return contains(devices, hash); });
  if (allKnown) {
    return;
  }
  for (const std::string& hash : deviceHashes) {
    if (!contains(devices, hash)) {
      devices.push_back(hash);
    }
  }
  writeTestDevices(devices);
}

void OVAdSettings::clearTestDevices() {
  std::lock_guard lock(stateMutex);
  auto& devices = loadedTestDevices(state());
  if (devices.empty()) {
    return;
  }
  devices.clear();
  writeTestDevices(devices);
}

void OVAdSettings::clearTestDevice(const std::string& deviceHash) {
  std::lock_guard lock(stateMutex);
  auto& devices = loadedTestDevices(state());
  const auto found = std::find(devices.begin(), devices.end(), deviceHash);
  if (found == devices.end()) {
    return;
  }
  devices.erase(found);
  writeTestDevices(devices);
}

bool OVAdSettings::isTestMode() {
  const std::string hash = testDeviceHash();
  bool isTestDevice = false;
  bool giveHint = false;
  {
    std::lock_guard lock(stateMutex);
    isTestDevice = contains(loadedTestDevices(state()), hash);
    giveHint = !isTestDevice && !state().testModeHintGiven;
    if (giveHint) {
      state().testModeHintGiven = true;
    }
  }
  if (giveHint) {
    OV_LOG(kOVAdLogLevelPlain, kTestDeviceHintMessage, hash.c_str());
    OV_LOG(kOVAdLogLevelPlain, kTestDeviceHashMessage, hash.c_str());
  }
  return isTestDevice;
}

// ---- Request options ----

void OVAdSettings::setIsChildDirected(bool isChildDirected) {
  std::lock_guard lock(stateMutex);
  state().childDirected = isChildDirected;
}

bool OVAdSettings::isChildDirected() {
  std::lock_guard lock(stateMutex);
  return state().childDirected;
}

bool OVAdSettings::isBackgroundVideoPlaybackAllowed() {
  std::lock_guard lock(stateMutex);
  return state().backgroundVideoPlaybackAllowed;
}

void OVAdSettings::setBackgroundVideoPlaybackAllowed(bool allowed) {
  std::lock_guard lock(stateMutex);
  state().backgroundVideoPlaybackAllowed = allowed;
}

void OVAdSettings::setMediationService(const std::string& service) {
  std::lock_guard lock(stateMutex);
  state().mediationService = service;
}

std::string OVAdSettings::getMediationService() {
  std::lock_guard lock(stateMutex);
  return state().mediationService;
}

std::int64_t OVAdSettings::mediaViewRenderingMethod() {
  std::lock_guard lock(stateMutex);
  return state().mediaViewRenderingMethod;
}

void OVAdSettings::setMediaViewRenderingMethod(std::int64_t method) {
  std::lock_guard lock(stateMutex);
  state().mediaViewRenderingMethod = method;
}

std::int64_t OVAdSettings::testAdType() {
  std::lock_guard lock(stateMutex);
  return state().testAdType;
}

void OVAdSettings::setTestAdType(std::int64_t type) {
  std::lock_guard lock(stateMutex);
  state().testAdType = type;
}

// ---- Servers ----

std::optional<std::string> OVAdSettings::urlPrefix() {
  std::lock_guard lock(stateMutex);
  return loadedUrlPrefix(state());
}

void OVAdSettings::setUrlPrefix(const std::string& prefix) {
  OVAdSettingsInternal::SSLValidationHook hook;
  {
    std::lock_guard lock(stateMutex);
    loadedUrlPrefix(state()) = prefix.empty() ? std::nullopt : std::optional<std::string>(prefix);
    hook = state().sslValidationHook;
  }
  if (hook) {
    hook(!prefix.empty());
  }
  if (prefix.empty()) {
    defaults()->removeObjectForKey(kUrlPrefixKey);
  } else {
    defaults()->setString(kUrlPrefixKey, prefix);
  }
  // Written now: the store is only flushed at exit when its folder already
  // exists, which on a first run it does not.
  defaults()->synchronize();
}

bool OVAdSettings::setAdServerBaseURL(const std::string& baseURL) {
  const auto url = platform::URL::parse(baseURL);
  if (!url || (url->scheme() != "https" && url->scheme() != "http") || url->host().empty()) {
    return false;
  }
  std::lock_guard lock(stateMutex);
  state().adServerBaseURL = baseURL;
  return true;
}

std::string OVAdSettings::adServerBaseURL() {
  std::lock_guard lock(stateMutex);
  return state().adServerBaseURL;
}

std::string OVAdSettings::getBaseURLWithDefault(const std::string& defaultURL, const std::string& format) {
  const auto prefix = urlPrefix();
  return prefix ? fillFormat(format, *prefix) : defaultURL;
}

std::string OVAdSettings::getBaseURL() {
  const std::string base = adServerBaseURL();
  return getBaseURLWithDefault(base, OVAdSettingsInternal::prefixedHostFormat(base));
}

std::string OVAdSettings::getDeliveryEndpoint() {
  const auto base = platform::URL::parse(getBaseURL());
  if (!base) {
    return {};
  }
  const auto endpoint = platform::URL::resolve(kDeliveryEndpointPath, *base);
  return endpoint ? endpoint->absoluteString() : std::string();
}

std::string OVAdSettings::getWebviewBaseURL() { return getBaseURL(); }

// ---- Logging ----

std::int64_t OVAdSettings::getLogLevel() {
  if (!logLevelLoaded.load(std::memory_order_acquire)) {
    std::lock_guard lock(logLevelLoadMutex);
    if (!logLevelLoaded.load(std::memory_order_relaxed)) {
      logLevel.store(defaults()->integerForKey(kLogLevelKey), std::memory_order_relaxed);
      logLevelLoaded.store(true, std::memory_order_release);
    }
  }
  return logLevel.load(std::memory_order_relaxed);
}

void OVAdSettings::setLogLevel(std::int64_t level) {
  if (level < kLowestLogLevel || level > kHighestLogLevel) {
    OV_LOG(kOVAdLogLevelError, kLogLevelRefusedFormat, static_cast<long long>(level),
           static_cast<long long>(kLowestLogLevel), static_cast<long long>(kHighestLogLevel));
    return;
  }
  if (getLogLevel() == level) {
    return;
  }
  logLevel.store(level, std::memory_order_relaxed);
  defaults()->setInteger(kLogLevelKey, level);
  defaults()->synchronize();
}

// ---- Session ----

std::string OVAdSettings::sessionID() {
  std::unique_lock lock(stateMutex);
  if (!state().sessionObserver) {
    const auto observer = std::make_shared<const int>(0);
    state().sessionObserver = observer;
    state().sessionID = platform::makeUUIDString();
    lock.unlock();
    OVAdUtility::startObservingBackgroundNotifications(observer, recordBackgroundEntry,
                                                       renewSessionAfterLongBackground);
    lock.lock();
  }
  return state().sessionID;
}

void OVAdSettings::resetSessionID() {
  std::string identifier = platform::makeUUIDString();
  std::lock_guard lock(stateMutex);
  state().sessionID = std::move(identifier);
}

// ---- Internal ----

void OVAdSettingsInternal::setSSLValidationHook(SSLValidationHook hook) {
  std::lock_guard lock(stateMutex);
  state().sslValidationHook = std::move(hook);
}

std::string OVAdSettingsInternal::prefixedHostFormat(const std::string& baseURL) {
  const auto url = platform::URL::parse(baseURL);
  if (!url || url->host().empty() || isAddressLiteral(url->host())) {
    return escapedForFormat(baseURL);
  }
  const std::string& host = url->host();
  const std::size_t firstDot = host.find('.');
  // The host starts after "//" and any user information.
  std::size_t hostStart = baseURL.find("//") + 2;
  const std::size_t at = baseURL.find('@', hostStart);
  if (url->user() && at != std::string::npos) {
    hostStart = at + 1;
  }
  const std::size_t hostPosition = baseURL.find(host, hostStart);
  if (firstDot == std::string::npos || hostPosition == std::string::npos) {
    return escapedForFormat(baseURL);
  }
  const std::size_t insertion = hostPosition + firstDot;
  return escapedForFormat(std::string_view(baseURL).substr(0, insertion)) + ".%s" +
         escapedForFormat(std::string_view(baseURL).substr(insertion));
}

void OVAdSettingsInternal::resetForTesting() {
  std::shared_ptr<const void> sessionObserver;
  {
    std::lock_guard lock(stateMutex);
    sessionObserver = std::move(state().sessionObserver);
    state() = SettingsState();
  }
  if (sessionObserver) {
    OVAdUtility::stopObservingBackgroundNotifications(sessionObserver.get());
  }
  std::lock_guard lock(logLevelLoadMutex);
  logLevel.store(0, std::memory_order_relaxed);
  logLevelLoaded.store(false, std::memory_order_release);
}

}  // namespace plexora
