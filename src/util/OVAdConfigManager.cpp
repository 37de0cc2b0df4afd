#include "util/OVAdConfigManager.h"

#include <filesystem>
#include <utility>

#include "platform/foundation/Files.h"
#include "platform/foundation/Paths.h"
#include "util/OVAdDictionary.h"
#include "util/OVAdLogger.h"
#include "util/OVAdUtility.h"

namespace plexora {

namespace {

constexpr const char* kConfigurationQueueLabel = "com.plexora.ads.config";

constexpr const char* kLoadFailedFormat = "Failed to load local configuration: %s";
constexpr const char* kNoConfigurationToSave = "No local configuration exists, cannot save.";
constexpr const char* kSaved = "Saved local configuration.";
constexpr const char* kSaveFailedFormat = "Failed to save local configuration: %s";
constexpr const char* kNotAConfiguration = "not a property-list dictionary";
constexpr const char* kNotAPropertyList = "the configuration cannot be written as a property list";

constexpr const char* kAdClickabilityThresholdKey = "ad_clickability_threshold_ms";
constexpr const char* kQNVEnabledKey = "ios_qnv_enabled";
constexpr const char* kQNVOffThreadRenderingKey = "ios_qnv_off_thread_rendering_enabled";
constexpr const char* kMetalImageRendererKey = "ios_metal_image_renderer_enabled";
constexpr const char* kImmediateDelayKey = "unified_logging_immediate_delay_ms";
constexpr const char* kEventLimitKey = "unified_logging_event_limit";
constexpr const char* kTapMarginKey = "ad_viewability_tap_margin";
constexpr const char* kElapsedTimeAfterImpressionKey = "minimum_elapsed_time_after_impression";
constexpr const char* kVisibleAreaCheckKey = "visible_area_check_enabled";
constexpr const char* kVisibleAreaPercentageKey = "visible_area_percentage";
constexpr const char* kAutoRotateKey = "video_and_endcard_autorotate";
constexpr const char* kPlayPauseButtonKey = "show_play_pause_rewarded_video";
constexpr const char* kMetadataKey = "show_metadata_rewarded_video";
constexpr const char* kInAppStoreDisabledKey = "disable_in_app_app_store";
constexpr const char* kSoftwareRendererContextKey = "use_cached_image_context_for_software_renderer";
constexpr const char* kMetalRendererContextKey = "use_cached_image_context_for_metal_renderer";
constexpr const char* kOpenGLRendererContextKey = "use_cached_image_context_for_opengl_renderer";
constexpr const char* kImpressionMissTrackingKey = "impression_miss_tracking";
constexpr const char* kUseStoreURLKey = "plxo_ios_use_store_url";

constexpr const char* kAutoRotateDefault = "autorotate_disabled";
constexpr double kMillisecondsPerSecond = 1000.0;

std::shared_ptr<const platform::Value> emptyConfiguration() {
  return std::make_shared<const platform::Value>(platform::Dictionary{});
}

}  // namespace

std::shared_ptr<OVAdConfigManager> OVAdConfigManager::sharedManager() { return sharedManagerWithAsyncLoad(false); }

std::shared_ptr<OVAdConfigManager> OVAdConfigManager::sharedManagerWithAsyncLoad(bool asyncLoad) {
  // Never torn down: file work may still be running at exit.
  static auto* manager = new std::shared_ptr<OVAdConfigManager>(create(platform::cachesDirectory(), asyncLoad));
  return *manager;
}

std::shared_ptr<OVAdConfigManager> OVAdConfigManager::create(std::string cachesDirectory, bool asyncLoad) {
  std::string path = (std::filesystem::path(std::move(cachesDirectory)) / kOVAdConfigurationFileName).string();
  std::shared_ptr<OVAdConfigManager> manager(new OVAdConfigManager(std::move(path)));
  manager->loadConfigurationFromStorage(asyncLoad);
  return manager;
}

OVAdConfigManager::OVAdConfigManager(std::string configurationFilePath)
    : configurationFilePath_(std::move(configurationFilePath)),
      fileQueue_(platform::DispatchQueue::createSerial(kConfigurationQueueLabel)),
      configuration_(emptyConfiguration()) {}

std::shared_ptr<const platform::Value> OVAdConfigManager::configuration() const {
  std::lock_guard lock(mutex_);
  return configuration_;
}

void OVAdConfigManager::install(std::shared_ptr<const platform::Value> configuration) {
  std::lock_guard lock(mutex_);
  configuration_ = std::move(configuration);
}

OVAdConfigManager& OVAdConfigManager::loadConfigurationFromStorage(bool async) {
  if (!async) {
    readStoredConfiguration(nullptr);
    return *this;
  }
  fileQueue_->async([self = shared_from_this(), requestedOver = configuration()] {
    self->readStoredConfiguration(&requestedOver);
  });
  return *this;
}

void OVAdConfigManager::readStoredConfiguration(const std::shared_ptr<const platform::Value>* onlyOver) {
  platform::FileError error;
  const std::optional<platform::Bytes> data = platform::readFile(configurationFilePath_, &error);
  if (!data) {
    OV_LOG(kOVAdLogLevelDebug, kLoadFailedFormat, error.description().c_str());
    return;
  }
  std::optional<platform::Value> stored = OVAdUtility::getObjectFromPropertyList(*data);
  if (!stored || !stored->isDictionary()) {
    const std::string reason = configurationFilePath_ + ": " + kNotAConfiguration;
    OV_LOG(kOVAdLogLevelDebug, kLoadFailedFormat, reason.c_str());
    return;
  }
  auto configuration = std::make_shared<const platform::Value>(std::move(*stored));
  std::lock_guard lock(mutex_);
  if (onlyOver == nullptr || configuration_ == *onlyOver) {
    configuration_ = std::move(configuration);
  }
}

OVAdConfigManager& OVAdConfigManager::loadConfigurationFromPropertyList(platform::ByteView data) {
  std::optional<platform::Value> parsed = OVAdUtility::getObjectFromPropertyList(data);
  if (parsed && parsed->isDictionary()) {
    install(std::make_shared<const platform::Value>(std::move(*parsed)));
  }
  return *this;
}

OVAdConfigManager& OVAdConfigManager::loadConfigurationFromJSONString(std::string_view json) {
  std::optional<platform::Value> parsed = OVAdUtility::getObjectFromJSONString(json);
  if (parsed && parsed->isDictionary()) {
    install(std::make_shared<const platform::Value>(std::move(*parsed)));
  }
  return *this;
}

OVAdConfigManager& OVAdConfigManager::loadConfigurationFromDictionary(const platform::Value& dictionary) {
  install(dictionary.isDictionary() ? std::make_shared<const platform::Value>(dictionary) : nullptr);
  return *this;
}

void OVAdConfigManager::saveConfiguration(bool async) {
  auto save = [self = shared_from_this()] { self->writeCurrentConfiguration(); };
  if (async) {
    fileQueue_->async(std::move(save));
  } else {
    fileQueue_->sync(std::move(save));
  }
}

void OVAdConfigManager::writeCurrentConfiguration() {
  const std::shared_ptr<const platform::Value> current = configuration();
  if (!current) {
    OV_LOG(kOVAdLogLevelDebug, "%s", kNoConfigurationToSave);
    return;
  }
  const std::optional<platform::Bytes> data = OVAdUtility::getPropertyListFromObject(*current);
  if (!data) {
    OV_LOG(kOVAdLogLevelError, kSaveFailedFormat, kNotAPropertyList);
    return;
  }
  platform::FileError error;
  const std::string directory = std::filesystem::path(configurationFilePath_).parent_path().string();
  if (!platform::createDirectories(directory, &error) ||
      !platform::writeFileAtomically(configurationFilePath_, *data, &error)) {
    OV_LOG(kOVAdLogLevelError, kSaveFailedFormat, error.description().c_str());
    return;
  }
  OV_LOG(kOVAdLogLevelDebug, "%s", kSaved);
}

void OVAdConfigManager::deleteConfiguration() {
  install(emptyConfiguration());
  fileQueue_->sync([this] { platform::removeItem(configurationFilePath_); });
}

std::optional<platform::Value> OVAdConfigManager::objectForKeyedSubscript(std::string_view key) const {
  const std::shared_ptr<const platform::Value> current = configuration();
  if (!current) {
    return std::nullopt;
  }
  const platform::Value* value = current->find(key);
  return value != nullptr ? std::optional<platform::Value>(*value) : std::nullopt;
}

void OVAdConfigManager::setObject(platform::Value object, std::string key) {
  std::lock_guard lock(mutex_);
  platform::Value updated = configuration_ ? *configuration_ : platform::Value(platform::Dictionary{});
  updated.set(std::move(key), std::move(object));
  configuration_ = std::make_shared<const platform::Value>(std::move(updated));
}

bool OVAdConfigManager::boolValue(std::string_view key, bool defaultValue) const {
  const std::shared_ptr<const platform::Value> current = configuration();
  return current ? boolForKey(*current, key, defaultValue) : defaultValue;
}

double OVAdConfigManager::doubleValue(std::string_view key, double defaultValue) const {
  const std::shared_ptr<const platform::Value> current = configuration();
  return current ? doubleForKey(*current, key, defaultValue) : defaultValue;
}

std::int64_t OVAdConfigManager::integerValue(std::string_view key, std::int64_t defaultValue) const {
  const std::shared_ptr<const platform::Value> current = configuration();
  return current ? integerForKey(*current, key, defaultValue) : defaultValue;
}

double OVAdConfigManager::adClickabilityThresholdInterval() const {
  return doubleValue(kAdClickabilityThresholdKey, 0.0) / kMillisecondsPerSecond;
}

bool OVAdConfigManager::isQNVEnabled() const { return boolValue(kQNVEnabledKey, true); }

bool OVAdConfigManager::isQNVOffThreadRenderingEnabled() const { return boolValue(kQNVOffThreadRenderingKey, true); }

bool OVAdConfigManager::isMetalImageRendererEnabled() const { return boolValue(kMetalImageRendererKey, true); }

double OVAdConfigManager::unifiedLoggingImmediateDelay() const {
  return doubleValue(kImmediateDelayKey, 500.0) / kMillisecondsPerSecond;
}

std::int64_t OVAdConfigManager::unifiedLoggingEventLimit() const { return integerValue(kEventLimitKey, 0); }

std::int64_t OVAdConfigManager::adTapMarginPercentage() const { return integerValue(kTapMarginKey, 0); }

double OVAdConfigManager::minimumElapsedTimeAfterImpression() const {
  return doubleValue(kElapsedTimeAfterImpressionKey, -1.0) / kMillisecondsPerSecond;
}

bool OVAdConfigManager::isAdClickabilityRestrictedUntilImpression() const {
  const std::shared_ptr<const platform::Value> current = configuration();
  if (!current) {
    return false;
  }
  // Written as "not below" so that a value that is not a number restricts.
  return !(doubleForKey(*current, kElapsedTimeAfterImpressionKey, 0.0) / kMillisecondsPerSecond < 0.0);
}

bool OVAdConfigManager::isVisibleAreaCheckEnabled() const { return boolValue(kVisibleAreaCheckKey, false); }

std::int64_t OVAdConfigManager::visibleAreaPercentage() const { return integerValue(kVisibleAreaPercentageKey, 50); }

std::string OVAdConfigManager::rvAutoRotate() const {
  const std::shared_ptr<const platform::Value> current = configuration();
  return current ? stringForKey(*current, kAutoRotateKey, kAutoRotateDefault) : kAutoRotateDefault;
}

bool OVAdConfigManager::isRVPlayPauseButtonEnabled() const { return boolValue(kPlayPauseButtonKey, false); }

bool OVAdConfigManager::isRVMetadataEnabled() const { return boolValue(kMetadataKey, false); }

bool OVAdConfigManager::isInAppAppStoreDisabled() const { return boolValue(kInAppStoreDisabledKey, false); }

bool OVAdConfigManager::useCachedImageContextForSoftwareRenderer() const {
  return boolValue(kSoftwareRendererContextKey, true);
}

bool OVAdConfigManager::useCachedImageContextForMetalRenderer() const {
  return boolValue(kMetalRendererContextKey, true);
}

bool OVAdConfigManager::useCachedImageContextForOpenGLRenderer() const {
  return boolValue(kOpenGLRendererContextKey, true);
}

bool OVAdConfigManager::isImpressionMissTrackingEnabled() const { return boolValue(kImpressionMissTrackingKey, true); }

bool OVAdConfigManager::useStoreURL() const { return boolValue(kUseStoreURLKey, false); }

}  // namespace plexora
