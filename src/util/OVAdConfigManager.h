// The server-driven feature configuration: one dictionary of flags and
// numbers that arrives with each ad, is kept as a property list
// ("ov_px_config.plist") in the caches directory, and is read everywhere
// through typed getters with fixed defaults.
//
// The configuration is always replaced whole, never merged: a reader that
// took it keeps a consistent snapshot while a writer installs the next one.
// "No configuration" exists only when a caller installs a non-dictionary
// through loadConfigurationFromDictionary; the getters then answer their
// fallbacks and saving refuses.
//
// File work runs on one serial queue. Each save writes the configuration
// current when the save runs, so saves finish in order and an older
// configuration never lands on disk after a newer one; the file is replaced
// atomically, so a reader never sees half of it.
//
// Thread safety: every member may be called from any thread.
// Ownership: the process-wide manager lives for the process; other managers
// (tests) are kept alive by their pending file work until it is done.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Bytes.h"
#include "platform/value/Value.h"

namespace plexora {

// Name of the configuration file in the caches directory.
inline constexpr const char* kOVAdConfigurationFileName = "ov_px_config.plist";

class OVAdConfigManager final : public std::enable_shared_from_this<OVAdConfigManager> {
 public:
  // The process-wide manager, made on first use from the stored file
  // (synchronously; later calls answer it unchanged, whatever their flag).
  static std::shared_ptr<OVAdConfigManager> sharedManager();
  static std::shared_ptr<OVAdConfigManager> sharedManagerWithAsyncLoad(bool asyncLoad);
  // A manager over the configuration file in `cachesDirectory`, loaded from
  // it at once or, with `asyncLoad`, on the file queue. The process-wide one
  // uses the platform's caches directory.
  static std::shared_ptr<OVAdConfigManager> create(std::string cachesDirectory, bool asyncLoad = false);

  OVAdConfigManager(const OVAdConfigManager&) = delete;
  OVAdConfigManager& operator=(const OVAdConfigManager&) = delete;

  // The current configuration: a dictionary, or null for none.
  std::shared_ptr<const platform::Value> configuration() const;
  const std::string& configurationFilePath() const { return configurationFilePath_; }

  // ---- Loading; each answers the manager, so a save can follow ----

  // Reads the file, at once or on the file queue. An unreadable, truncated
  // or garbage file is logged and leaves the configuration as it is. An
  // asynchronous load does not replace a configuration installed after it
  // was asked for.
  OVAdConfigManager& loadConfigurationFromStorage(bool async = false);
  // Installs the property list's dictionary; anything else is ignored.
  OVAdConfigManager& loadConfigurationFromPropertyList(platform::ByteView data);
  // Installs the JSON text's dictionary; anything else is ignored.
  OVAdConfigManager& loadConfigurationFromJSONString(std::string_view json);
  // Installs a copy of the dictionary; a non-dictionary leaves no
  // configuration.
  OVAdConfigManager& loadConfigurationFromDictionary(const platform::Value& dictionary);

  // Writes the configuration to the file, on the file queue, or at once
  // (still in turn with the queued saves) when `async` is false.
  void saveConfiguration(bool async = true);
  // Installs an empty configuration and removes the file once the saves
  // already queued are done (a missing file is not an error).
  void deleteConfiguration();

  // ---- Single keys ----

  // The value under `key`, none when absent or without configuration.
  std::optional<platform::Value> objectForKeyedSubscript(std::string_view key) const;
  // Installs a copy of the configuration with `key` set to `object`. Not
  // written to the file until saveConfiguration.
  void setObject(platform::Value object, std::string key);

  // ---- Typed getters ----

  // Seconds (the key holds milliseconds); 0 by default.
  double adClickabilityThresholdInterval() const;
  bool isQNVEnabled() const;
  bool isQNVOffThreadRenderingEnabled() const;
  bool isMetalImageRendererEnabled() const;
  // Seconds (the key holds milliseconds); 0.5 by default.
  double unifiedLoggingImmediateDelay() const;
  // 0 means no limit.
  std::int64_t unifiedLoggingEventLimit() const;
  std::int64_t adTapMarginPercentage() const;
  // Seconds (the key holds milliseconds); -0.001 by default.
  double minimumElapsedTimeAfterImpression() const;
  // True unless the elapsed-time key holds a negative number; false without
  // configuration.
  bool isAdClickabilityRestrictedUntilImpression() const;
  bool isVisibleAreaCheckEnabled() const;
  std::int64_t visibleAreaPercentage() const;
  std::string rvAutoRotate() const;
  bool isRVPlayPauseButtonEnabled() const;
  bool isRVMetadataEnabled() const;
  bool isInAppAppStoreDisabled() const;
  bool useCachedImageContextForSoftwareRenderer() const;
  bool useCachedImageContextForMetalRenderer() const;
  bool useCachedImageContextForOpenGLRenderer() const;
  bool isImpressionMissTrackingEnabled() const;
  bool useStoreURL() const;

 private:
  explicit OVAdConfigManager(std::string configurationFilePath);

  void install(std::shared_ptr<const platform::Value> configuration);
  // Reads and installs the file; with `onlyOver` set, only when the
  // configuration is still that one.
  void readStoredConfiguration(const std::shared_ptr<const platform::Value>* onlyOver);
  // Runs on the file queue.
  void writeCurrentConfiguration();

  bool boolValue(std::string_view key, bool defaultValue) const;
  double doubleValue(std::string_view key, double defaultValue) const;
  std::int64_t integerValue(std::string_view key, std::int64_t defaultValue) const;

  const std::string configurationFilePath_;
  const platform::DispatchQueuePtr fileQueue_;
  mutable std::mutex mutex_;
  std::shared_ptr<const platform::Value> configuration_;
};

}  // namespace plexora
