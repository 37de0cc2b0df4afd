// The data of a native ad: every asset the host's views or the library's
// templates draw (texts, images, rating, ad-choices assets, call to
// action), the command a click runs, the switches of the view logging, the
// templates' style and, for a carousel ad, one card per carousel entry.
//
// Reading never fails: a missing key, or a value of the wrong kind, leaves
// its field at its default, and isValid() judges the result.
//
// Thread safety: immutable after it is made; read on any thread.
// Ownership: shared by the adapter that made it, the native ad and its views.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "adapters/OVAdDataModel.h"
#include "platform/foundation/URL.h"
#include "platform/value/Value.h"
#include "plexora/OVAdStarRating.h"

namespace plexora {

class OVAdImage;
class OVNativeAdMultiProductDataModel;
class OVNativeAdViewAttributes;

inline constexpr const char* kOVNativeAdStarRatingKey = "star_rating";
inline constexpr const char* kOVNativeAdDestinationURLKey = "destination_url";
inline constexpr const char* kOVNativeAdTitleKey = "title";
inline constexpr const char* kOVNativeAdSubtitleKey = "subtitle";
inline constexpr const char* kOVNativeAdSocialContextKey = "social_context";
inline constexpr const char* kOVNativeAdCallToActionKey = "call_to_action";
inline constexpr const char* kOVNativeAdBodyKey = "body";
inline constexpr const char* kOVNativeAdIconKey = "icon";
inline constexpr const char* kOVNativeAdImageKey = "image";
inline constexpr const char* kOVNativeAdCommandKey = "ovad_command";
inline constexpr const char* kOVNativeAdManualImpressionKey = "manual_imp";
inline constexpr const char* kOVNativeAdViewLogKey = "enable_view_log";
inline constexpr const char* kOVNativeAdSnapshotLogKey = "enable_snapshot_log";
inline constexpr const char* kOVNativeAdSnapshotDelayKey = "snapshot_log_delay_second";
inline constexpr const char* kOVNativeAdSnapshotQualityKey = "snapshot_compress_quality";
inline constexpr const char* kOVNativeAdAdChoicesIconKey = "ad_choices_icon";
inline constexpr const char* kOVNativeAdAdChoicesLinkURLKey = "ad_choices_link_url";
inline constexpr const char* kOVNativeAdAdChoicesTextKey = "ad_choices_text";
inline constexpr const char* kOVNativeAdUIConfigKey = "native_ui_config";
inline constexpr const char* kOVNativeAdFullyClickableKey = "fully_clickable";
inline constexpr const char* kOVNativeAdVideoURLKey = "video_url";
inline constexpr const char* kOVNativeAdVideoAutoplayKey = "video_autoplay_enabled";
inline constexpr const char* kOVNativeAdCarouselKey = "carousel";

inline constexpr const char* kOVNativeAdDefaultAdChoicesText = "AdChoices";
inline constexpr std::int64_t kOVNativeAdDefaultSnapshotDelay = 4;

class OVNativeAdDataModel final : public OVAdDataModel {
 public:
  using Cards = std::vector<std::shared_ptr<OVNativeAdMultiProductDataModel>>;

  // A model of the candidate's data (anything but a dictionary reads as an
  // empty one).
  static std::shared_ptr<OVNativeAdDataModel> initWithMetadata(const platform::Value& metadata);

  // A client token, a title, a call to action and a cover image with a
  // location; nothing else is required.
  bool isValid() const override;

  // The carousel's cards in order: every dictionary entry becomes a card
  // (valid or not) carrying this ad's client token; other entries are
  // skipped. Empty for no array.
  Cards processMultiProductAdMetadata(const std::optional<platform::Value>& carousel) const;

  const platform::Value& metadata() const { return metadata_; }
  const OVAdStarRating& starRating() const { return starRating_; }
  const std::optional<platform::URL>& destinationURL() const { return destinationURL_; }
  const std::optional<std::string>& title() const { return title_; }
  const std::optional<std::string>& subtitle() const { return subtitle_; }
  const std::optional<std::string>& socialContext() const { return socialContext_; }
  const std::optional<std::string>& callToAction() const { return callToAction_; }
  const std::optional<std::string>& body() const { return body_; }
  const std::shared_ptr<OVAdImage>& icon() const { return icon_; }
  const std::shared_ptr<OVAdImage>& image() const { return image_; }
  const std::optional<platform::URL>& commandURL() const { return commandURL_; }
  bool manualImpressionEnabled() const { return manualImpressionEnabled_; }
  bool viewJSONLoggingEnabled() const { return viewJSONLoggingEnabled_; }
  bool viewSnapshotLoggingEnabled() const { return viewSnapshotLoggingEnabled_; }
  std::int64_t snapshotDelayPostInSecond() const { return snapshotDelayPostInSecond_; }
  // From 0.0 to 1.0.
  double snapshotCompressionQuality() const { return snapshotCompressionQuality_; }
  const std::shared_ptr<OVAdImage>& adChoicesIcon() const { return adChoicesIcon_; }
  const std::optional<platform::URL>& adChoicesLinkURL() const { return adChoicesLinkURL_; }
  const std::string& adChoicesText() const { return adChoicesText_; }
  const std::shared_ptr<OVNativeAdViewAttributes>& adViewAttributes() const { return adViewAttributes_; }
  bool fullyClickable() const { return fullyClickable_; }
  const std::optional<platform::URL>& videoURL() const { return videoURL_; }
  // None when the server did not say, so callers can tell that from false.
  const std::optional<bool>& videoAutoplayEnabled() const { return videoAutoplayEnabled_; }
  const Cards& multiProductAdContent() const { return multiProductAdContent_; }

  explicit OVNativeAdDataModel(const platform::Value& metadata);

 private:
  platform::Value metadata_;
  OVAdStarRating starRating_;
  std::optional<platform::URL> destinationURL_;
  std::optional<std::string> title_;
  std::optional<std::string> subtitle_;
  std::optional<std::string> socialContext_;
  std::optional<std::string> callToAction_;
  std::optional<std::string> body_;
  std::shared_ptr<OVAdImage> icon_;
  std::shared_ptr<OVAdImage> image_;
  std::optional<platform::URL> commandURL_;
  bool manualImpressionEnabled_ = false;
  bool viewJSONLoggingEnabled_ = false;
  bool viewSnapshotLoggingEnabled_ = false;
  std::int64_t snapshotDelayPostInSecond_ = kOVNativeAdDefaultSnapshotDelay;
  double snapshotCompressionQuality_ = 0.0;
  std::shared_ptr<OVAdImage> adChoicesIcon_;
  std::optional<platform::URL> adChoicesLinkURL_;
  std::string adChoicesText_ = kOVNativeAdDefaultAdChoicesText;
  std::shared_ptr<OVNativeAdViewAttributes> adViewAttributes_;
  bool fullyClickable_ = false;
  std::optional<platform::URL> videoURL_;
  std::optional<bool> videoAutoplayEnabled_;
  Cards multiProductAdContent_;
};

}  // namespace plexora
