// The typed form of an in-stream video candidate's data (the video
// interstitial reads its candidates with it too): keys nested in
// sub-dictionaries ("video", "trackers", "icon", "image", "text", "cta",
// "capabilities", "context", "layout"); a missing sub-dictionary leaves its
// fields at their defaults.
//
// Thread safety: a model never changes after it is made, so it may be read
// on any thread.
// Ownership: shared by the adapter, its video controller and content view.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "adapters/OVAdDataModel.h"
#include "platform/foundation/URL.h"
#include "platform/ui/InterfaceOrientation.h"
#include "platform/value/Value.h"
#include "util/OVAdUtility.h"

namespace plexora {

class OVAdImage;

inline constexpr const char* kOVInstreamAdVideoKey = "video";
inline constexpr const char* kOVInstreamAdVideoURLKey = "videoURL";
inline constexpr const char* kOVInstreamAdVideoHDURLKey = "videoHDURL";
inline constexpr const char* kOVInstreamAdDestinationURLKey = "destinationURL";
inline constexpr const char* kOVInstreamAdAutoplayKey = "autoplay";
inline constexpr const char* kOVInstreamAdTrackersKey = "trackers";
inline constexpr const char* kOVInstreamAdNativeImpressionTrackerKey = "nativeImpression";
inline constexpr const char* kOVInstreamAdImpressionTrackerKey = "impression";
inline constexpr const char* kOVInstreamAdClickTrackerKey = "click";
inline constexpr const char* kOVInstreamAdVideoTrackerKey = "video";
inline constexpr const char* kOVInstreamAdClientTrackerKey = "client";
inline constexpr const char* kOVInstreamAdIconKey = "icon";
inline constexpr const char* kOVInstreamAdImageKey = "image";
inline constexpr const char* kOVInstreamAdTextKey = "text";
inline constexpr const char* kOVInstreamAdTitleKey = "title";
inline constexpr const char* kOVInstreamAdSubtitleKey = "subtitle";
inline constexpr const char* kOVInstreamAdCallToActionKey = "cta";
inline constexpr const char* kOVInstreamAdCallToActionTextKey = "text";
inline constexpr const char* kOVInstreamAdCallToActionURLKey = "url";
inline constexpr const char* kOVInstreamAdCapabilitiesKey = "capabilities";
inline constexpr const char* kOVInstreamAdSkipButtonKey = "skipButton";
inline constexpr const char* kOVInstreamAdSkippableSecondsKey = "skippableSeconds";
inline constexpr const char* kOVInstreamAdCountdownKey = "countdown";
inline constexpr const char* kOVInstreamAdCountdownFormatKey = "format";
inline constexpr const char* kOVInstreamAdContextKey = "context";
inline constexpr const char* kOVInstreamAdOrientationKey = "orientation";
inline constexpr const char* kOVInstreamAdLayoutKey = "layout";
inline constexpr const char* kOVInstreamAdAccentColorKey = "accentColor";
inline constexpr const char* kOVInstreamAdBackgroundColorKey = "bgColor";
inline constexpr const char* kOVInstreamAdTextColorKey = "textColor";
inline constexpr const char* kOVInstreamAdPersistentAdDetailsKey = "persistentAdDetails";

class OVInstreamAdDataModel : public OVAdDataModel {
 public:
  // A model of the candidate's data; none for a null value.
  static std::shared_ptr<OVInstreamAdDataModel> initWithMetadata(const platform::Value& metadata);
  // A model of an empty dictionary.
  static std::shared_ptr<OVInstreamAdDataModel> init();

  explicit OVInstreamAdDataModel(const platform::Value& metadata);

  // The base's rule, a video and the impression, native impression and
  // video trackers.
  bool isValid() const override;

  const std::optional<platform::URL>& videoURL() const { return videoURL_; }
  const std::optional<platform::URL>& videoHDURL() const { return videoHDURL_; }
  const std::optional<platform::URL>& destinationURL() const { return destinationURL_; }
  bool autoplay() const { return autoplay_; }
  const std::optional<platform::URL>& nativeImpressionLoggingURL() const { return nativeImpressionLoggingURL_; }
  const std::optional<platform::URL>& impressionLoggingURL() const { return impressionLoggingURL_; }
  const std::optional<platform::URL>& clickLoggingURL() const { return clickLoggingURL_; }
  const std::optional<platform::URL>& videoLoggingURL() const { return videoLoggingURL_; }
  const std::optional<platform::URL>& clientEventReportURL() const { return clientEventReportURL_; }
  const std::shared_ptr<OVAdImage>& icon() const { return icon_; }
  const std::shared_ptr<OVAdImage>& image() const { return image_; }
  const std::optional<std::string>& title() const { return title_; }
  const std::optional<std::string>& subtitle() const { return subtitle_; }
  const std::optional<std::string>& callToActionText() const { return callToActionText_; }
  const std::optional<platform::URL>& callToActionURL() const { return callToActionURL_; }
  // Seconds before the ad may be skipped; none when the ad cannot be.
  const std::optional<double>& skippableSeconds() const { return skippableSeconds_; }
  bool countdownEnabled() const { return countdownEnabled_; }
  const std::optional<std::string>& countdownFormat() const { return countdownFormat_; }
  platform::InterfaceOrientation orientation() const { return orientation_; }
  const std::optional<OVAdColor>& accentColor() const { return accentColor_; }
  const std::optional<OVAdColor>& backgroundColor() const { return backgroundColor_; }
  const std::optional<OVAdColor>& textColor() const { return textColor_; }
  bool persistentAdDetails() const { return persistentAdDetails_; }

 private:
  std::optional<platform::URL> videoURL_;
  std::optional<platform::URL> videoHDURL_;
  std::optional<platform::URL> destinationURL_;
  bool autoplay_ = false;
  std::optional<platform::URL> nativeImpressionLoggingURL_;
  std::optional<platform::URL> impressionLoggingURL_;
  std::optional<platform::URL> clickLoggingURL_;
  std::optional<platform::URL> videoLoggingURL_;
  std::optional<platform::URL> clientEventReportURL_;
  std::shared_ptr<OVAdImage> icon_;
  std::shared_ptr<OVAdImage> image_;
  std::optional<std::string> title_;
  std::optional<std::string> subtitle_;
  std::optional<std::string> callToActionText_;
  std::optional<platform::URL> callToActionURL_;
  std::optional<double> skippableSeconds_;
  bool countdownEnabled_ = false;
  std::optional<std::string> countdownFormat_;
  platform::InterfaceOrientation orientation_ = platform::InterfaceOrientation::Unknown;
  std::optional<OVAdColor> accentColor_;
  std::optional<OVAdColor> backgroundColor_;
  std::optional<OVAdColor> textColor_;
  bool persistentAdDetails_ = false;
};

}  // namespace plexora
