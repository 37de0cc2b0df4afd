// The data of an HTML ad (banner and display interstitial): its markup, the
// script run once the page loaded, and the creative's metadata. The web
// content containers load it and the banner view sizes itself from it.
//
// Thread safety: immutable after it is made; read on any thread.
// Ownership: shared like every data model.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "adapters/OVAdDataModel.h"
#include "platform/ui/InterfaceOrientation.h"
#include "platform/value/Value.h"

namespace plexora {

inline constexpr const char* kOVHTMLAdDataModelMarkupKey = "markup";
inline constexpr const char* kOVHTMLAdDataModelActivationCommandKey = "activation_command";
inline constexpr const char* kOVHTMLAdDataModelMetadataKey = "metadata";
inline constexpr const char* kOVHTMLAdDataModelIsTabletKey = "is_tablet";
inline constexpr const char* kOVHTMLAdDataModelAdHeightKey = "ad_height";
inline constexpr const char* kOVHTMLAdDataModelAdWidthKey = "ad_width";
inline constexpr const char* kOVHTMLAdDataModelIsVideoKey = "is_video";
inline constexpr const char* kOVHTMLAdDataModelOrientationKey = "orientation";

class OVHTMLAdDataModel final : public OVAdDataModel {
 public:
  // A model of the candidate's data; none for a null value. Missing keys
  // leave their fields empty: such a model is made but is not valid.
  static std::shared_ptr<OVHTMLAdDataModel> initWithMetadata(const platform::Value& metadata);
  static std::shared_ptr<OVHTMLAdDataModel> create();

  // A client token and at least one character of markup.
  bool isValid() const override;

  const std::optional<std::string>& markup() const { return markup_; }
  const std::optional<std::string>& activationCommand() const { return activationCommand_; }
  // From the "metadata" dictionary; none when absent or not a number.
  const std::optional<bool>& isTablet() const { return isTablet_; }
  const std::optional<double>& adHeight() const { return adHeight_; }
  const std::optional<double>& adWidth() const { return adWidth_; }
  const std::optional<bool>& isVideo() const { return isVideo_; }
  // The orientation the creative was made for; Unknown when the server
  // names none or one it does not define.
  platform::InterfaceOrientation orientation() const { return orientation_; }

  explicit OVHTMLAdDataModel(const platform::Value& metadata);

 private:
  std::optional<std::string> markup_;
  std::optional<std::string> activationCommand_;
  std::optional<bool> isTablet_;
  std::optional<double> adHeight_;
  std::optional<double> adWidth_;
  std::optional<bool> isVideo_;
  platform::InterfaceOrientation orientation_ = platform::InterfaceOrientation::Unknown;
};

}  // namespace plexora
