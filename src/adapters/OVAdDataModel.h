// The typed form of one ad candidate's data dictionary, the base of every
// kind of ad data (HTML here; native and video kinds derive from it). It
// carries the identifier of the request that produced the ad and the
// client token against which every event of the ad is logged, and hands
// the feature configuration that came with the ad to the configuration
// manager as soon as the data is read.
//
// Thread safety: a model never changes after it is made, so it may be read
// on any thread; making one writes the process-wide configuration, which is
// safe from any thread too.
// Ownership: shared by the adapter, the ad view, its container and the
// command processor that runs its links.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/value/Value.h"

namespace plexora {

// Keys of the candidate data every model reads.
inline constexpr const char* kOVAdDataModelRequestIdKey = "request_id";
inline constexpr const char* kOVAdDataModelClientTokenKey = "ct";
inline constexpr const char* kOVAdDataModelFeatureConfigKey = "feature_config";

class OVAdDataModel {
 public:
  // A model of the candidate's data (a dictionary; anything else reads as an
  // empty one); none for a null value.
  static std::shared_ptr<OVAdDataModel> initWithMetadata(const platform::Value& metadata);
  // A model of no data, which is never valid.
  static std::shared_ptr<OVAdDataModel> create();

  virtual ~OVAdDataModel() = default;
  OVAdDataModel(const OVAdDataModel&) = delete;
  OVAdDataModel& operator=(const OVAdDataModel&) = delete;

  // Whether the ad can be shown: the base asks for a non-empty client token.
  virtual bool isValid() const;

  const std::optional<std::string>& requestId() const { return requestId_; }
  const std::optional<std::string>& inlineClientToken() const { return inlineClientToken_; }

 protected:
  // Reads the base keys of `metadata` and installs its "feature_config"
  // dictionary as the process's configuration (saved to disk).
  explicit OVAdDataModel(const platform::Value& metadata);

 private:
  std::optional<std::string> requestId_;
  std::optional<std::string> inlineClientToken_;
};

}  // namespace plexora
