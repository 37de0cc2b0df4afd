#include "adapters/OVInstreamAdDataModel.h"

#include "adapters/OVNativeAdAssets.h"
#include "plexora/OVAdImage.h"
#include "util/OVAdDictionary.h"

namespace plexora {

namespace {

// The sub-dictionary under `key`, or an empty one so that its fields read as
// absent.
platform::Value sectionOf(const platform::Value& metadata, const char* key) {
  auto section = dictionaryForKeyOrNil(metadata, key);
  return section ? *section : platform::Value(platform::Dictionary{});
}

std::optional<double> skippableSecondsOf(const platform::Value& capabilities) {
  const auto skipButton = sectionOf(capabilities, kOVInstreamAdSkipButtonKey);
  const auto stored = objectForKeyOrNil(skipButton, kOVInstreamAdSkippableSecondsKey);
  if (!stored) return std::nullopt;
  const auto number = safeNumberFromString(*stored);
  if (!number) return std::nullopt;
  return number->toDouble();
}

std::optional<OVAdColor> colorForKey(const platform::Value& layout, const char* key) {
  const auto number = numberForKeyOrNil(layout, key);
  if (!number) return std::nullopt;
  return colorWithInteger(static_cast<std::uint32_t>(number->toInt64()));
}

}  // namespace

std::shared_ptr<OVInstreamAdDataModel> OVInstreamAdDataModel::initWithMetadata(const platform::Value& metadata) {
  if (metadata.isNull()) return nullptr;
  return std::make_shared<OVInstreamAdDataModel>(metadata);
}

std::shared_ptr<OVInstreamAdDataModel> OVInstreamAdDataModel::init() {
  return initWithMetadata(platform::Dictionary{});
}

OVInstreamAdDataModel::OVInstreamAdDataModel(const platform::Value& metadata) : OVAdDataModel(metadata) {
  const auto video = sectionOf(metadata, kOVInstreamAdVideoKey);
  videoURL_ = OVNativeAdURLForKey(video, kOVInstreamAdVideoURLKey);
  videoHDURL_ = OVNativeAdURLForKey(video, kOVInstreamAdVideoHDURLKey);
  destinationURL_ = OVNativeAdURLForKey(video, kOVInstreamAdDestinationURLKey);
  autoplay_ = boolForKey(video, kOVInstreamAdAutoplayKey, false);

  const auto trackers = sectionOf(metadata, kOVInstreamAdTrackersKey);
  nativeImpressionLoggingURL_ = OVNativeAdURLForKey(trackers, kOVInstreamAdNativeImpressionTrackerKey);
  impressionLoggingURL_ = OVNativeAdURLForKey(trackers, kOVInstreamAdImpressionTrackerKey);
  clickLoggingURL_ = OVNativeAdURLForKey(trackers, kOVInstreamAdClickTrackerKey);
  videoLoggingURL_ = OVNativeAdURLForKey(trackers, kOVInstreamAdVideoTrackerKey);
  clientEventReportURL_ = OVNativeAdURLForKey(trackers, kOVInstreamAdClientTrackerKey);

  icon_ = OVNativeAdImageForKey(metadata, kOVInstreamAdIconKey, kOVAdImageTypeIcon);
  image_ = OVNativeAdImageForKey(metadata, kOVInstreamAdImageKey, kOVAdImageTypeCover);

  const auto text = sectionOf(metadata, kOVInstreamAdTextKey);
  title_ = stringForKeyOrNil(text, kOVInstreamAdTitleKey);
  subtitle_ = stringForKeyOrNil(text, kOVInstreamAdSubtitleKey);

  const auto callToAction = sectionOf(metadata, kOVInstreamAdCallToActionKey);
  callToActionText_ = stringForKeyOrNil(callToAction, kOVInstreamAdCallToActionTextKey);
  callToActionURL_ = OVNativeAdURLForKey(callToAction, kOVInstreamAdCallToActionURLKey);

  const auto capabilities = sectionOf(metadata, kOVInstreamAdCapabilitiesKey);
  skippableSeconds_ = skippableSecondsOf(capabilities);
  if (const auto countdown = dictionaryForKeyOrNil(capabilities, kOVInstreamAdCountdownKey)) {
    countdownEnabled_ = true;
    countdownFormat_ = stringForKeyOrNil(*countdown, kOVInstreamAdCountdownFormatKey);
  }

  const auto context = sectionOf(metadata, kOVInstreamAdContextKey);
  orientation_ = OVAdUtility::interfaceOrientationFromServerOrientation(
      integerForKey(context, kOVInstreamAdOrientationKey, kOVAdServerOrientationAny));

  const auto layout = sectionOf(metadata, kOVInstreamAdLayoutKey);
  accentColor_ = colorForKey(layout, kOVInstreamAdAccentColorKey);
  backgroundColor_ = colorForKey(layout, kOVInstreamAdBackgroundColorKey);
  textColor_ = colorForKey(layout, kOVInstreamAdTextColorKey);
  persistentAdDetails_ = boolForKey(layout, kOVInstreamAdPersistentAdDetailsKey, false);
}

bool OVInstreamAdDataModel::isValid() const {
  return OVAdDataModel::isValid() && videoURL_ && impressionLoggingURL_ && nativeImpressionLoggingURL_ &&
         videoLoggingURL_;
}

}  // namespace plexora
