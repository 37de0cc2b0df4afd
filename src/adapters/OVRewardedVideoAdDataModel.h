// The typed form of a rewarded video candidate's data: flat keys at the top
// of the data dictionary, the video and its end card.
//
// Thread safety: a model never changes after it is made, so it may be read
// on any thread; making one may replace the process-wide configuration,
// which is safe from any thread.
// Ownership: shared by the rewarded adapter, its view and its end card.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "adapters/OVAdDataModel.h"
#include "platform/foundation/URL.h"
#include "platform/value/Value.h"
#include "plexora/OVAdStarRating.h"

namespace plexora {

class OVAdImage;

inline constexpr const char* kOVRewardedVideoAdStarRatingKey = "star_rating";
inline constexpr const char* kOVRewardedVideoAdDestinationURLKey = "destination_url";
inline constexpr const char* kOVRewardedVideoAdTitleKey = "title";
inline constexpr const char* kOVRewardedVideoAdSubtitleKey = "subtitle";
inline constexpr const char* kOVRewardedVideoAdSocialContextKey = "social_context";
inline constexpr const char* kOVRewardedVideoAdCallToActionKey = "call_to_action";
inline constexpr const char* kOVRewardedVideoAdBodyKey = "body";
inline constexpr const char* kOVRewardedVideoAdIconKey = "icon";
inline constexpr const char* kOVRewardedVideoAdImageKey = "image";
inline constexpr const char* kOVRewardedVideoAdCommandKey = "ovad_command";
inline constexpr const char* kOVRewardedVideoAdManualImpressionKey = "manual_imp";
inline constexpr const char* kOVRewardedVideoAdViewLogKey = "enable_view_log";
inline constexpr const char* kOVRewardedVideoAdSnapshotLogKey = "enable_snapshot_log";
inline constexpr const char* kOVRewardedVideoAdSnapshotDelayKey = "snapshot_log_delay_second";
inline constexpr const char* kOVRewardedVideoAdSnapshotQualityKey = "snapshot_compress_quality";
inline constexpr const char* kOVRewardedVideoAdSkippableSecondsKey = "skippable_seconds";
inline constexpr const char* kOVRewardedVideoAdAdChoicesIconKey = "ad_choices_icon";
inline constexpr const char* kOVRewardedVideoAdAdChoicesLinkURLKey = "ad_choices_link_url";
inline constexpr const char* kOVRewardedVideoAdAdChoicesTextKey = "ad_choices_text";
inline constexpr const char* kOVRewardedVideoAdFullyClickableKey = "fully_clickable";
inline constexpr const char* kOVRewardedVideoAdVideoURLKey = "video_url";
inline constexpr const char* kOVRewardedVideoAdVideoAutoplayKey = "video_autoplay_enabled";
inline constexpr const char* kOVRewardedVideoAdEndCardMarkupKey = "end_card_markup";
inline constexpr const char* kOVRewardedVideoAdActivationCommandKey = "activation_command";
inline constexpr const char* kOVRewardedVideoAdContextSwitchKey = "context_switch";

inline constexpr const char* kOVRewardedVideoAdDefaultAdChoicesText = "AdChoices";
inline constexpr std::int64_t kOVRewardedVideoAdDefaultSnapshotDelay = 4;

class OVRewardedVideoAdDataModel final : public OVAdDataModel {
 public:
  // A model of the candidate's data; none for a null value. Feature
  // configuration given as JSON text replaces and saves the process's
  // configuration (text that does not parse leaves it as it was).
  static std::shared_ptr<OVRewardedVideoAdDataModel> initWithMetadata(const platform::Value& metadata);

  explicit OVRewardedVideoAdDataModel(const platform::Value& metadata);

  // The base's rule and a video location whose text is not empty.
  bool isValid() const override;

  const platform::Value& metadata() const { return metadata_; }
  const OVAdStarRating& starRating() const { return starRating_; }
  const std::optional<platform::URL>& destinationURL() const { return destinationURL_; }
  const std::optional<std::string>& title() const { return title_; }
  const std::optional<std::string>& subtitle() const { return subtitle_; }
  const std::optional<std::string>& socialContext() const { return socialContext_; }
  const std::optional<std::string>& callToAction() const { return callToAction_; }
  const std::optional<std::string>& body() const { return body_; }
  const std::optional<platform::URL>& iconURL() const { return iconURL_; }
  const std::shared_ptr<OVAdImage>& image() const { return image_; }
  const std::optional<platform::URL>& commandURL() const { return commandURL_; }
  bool manualImpressionEnabled() const { return manualImpressionEnabled_; }
  bool viewJSONLoggingEnabled() const { return viewJSONLoggingEnabled_; }
  bool viewSnapshotLoggingEnabled() const { return viewSnapshotLoggingEnabled_; }
  std::int64_t snapshotDelayPostInSecond() const { return snapshotDelayPostInSecond_; }
  double snapshotCompressionQuality() const { return snapshotCompressionQuality_; }
  const std::optional<double>& skippableSeconds() const { return skippableSeconds_; }
  // Present whenever the data has the dictionary, with or without a location.
  const std::shared_ptr<OVAdImage>& adChoicesIcon() const { return adChoicesIcon_; }
  const std::optional<platform::URL>& adChoicesLinkURL() const { return adChoicesLinkURL_; }
  const std::string& adChoicesText() const { return adChoicesText_; }
  bool fullyClickable() const { return fullyClickable_; }
  const std::optional<platform::URL>& videoURL() const { return videoURL_; }
  bool videoAutoplayEnabled() const { return videoAutoplayEnabled_; }
  // The end card's HTML.
  const std::optional<std::string>& markup() const { return markup_; }
  // The script the end card runs when it is shown.
  const std::optional<std::string>& activationCommand() const { return activationCommand_; }
  // "resume", "restart" or "skip": what the video does when the application
  // comes back from the background.
  const std::optional<std::string>& contextSwitch() const { return contextSwitch_; }

 private:
  platform::Value metadata_;
  OVAdStarRating starRating_{};
  std::optional<platform::URL> destinationURL_;
  std::optional<std::string> title_;
  std::optional<std::string> subtitle_;
  std::optional<std::string> socialContext_;
  std::optional<std::string> callToAction_;
  std::optional<std::string> body_;
  std::optional<platform::URL> iconURL_;
  std::shared_ptr<OVAdImage> image_;
  std::optional<platform::URL> commandURL_;
  bool manualImpressionEnabled_ = false;
  bool viewJSONLoggingEnabled_ = false;
  bool viewSnapshotLoggingEnabled_ = false;
  std::int64_t snapshotDelayPostInSecond_ = kOVRewardedVideoAdDefaultSnapshotDelay;
  double snapshotCompressionQuality_ = 0.0;
  std::optional<double> skippableSeconds_;
  std::shared_ptr<OVAdImage> adChoicesIcon_;
  std::optional<platform::URL> adChoicesLinkURL_;
  std::string adChoicesText_;
  bool fullyClickable_ = false;
  std::optional<platform::URL> videoURL_;
  bool videoAutoplayEnabled_ = true;
  std::optional<std::string> markup_;
  std::optional<std::string> activationCommand_;
  std::optional<std::string> contextSwitch_;
};

}  // namespace plexora
