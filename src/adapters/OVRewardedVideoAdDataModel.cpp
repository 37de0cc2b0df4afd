#include "adapters/OVRewardedVideoAdDataModel.h"

#include <algorithm>
#include <limits>

#include "adapters/OVNativeAdAssets.h"
#include "plexora/OVAdImage.h"
#include "util/OVAdConfigManager.h"
#include "util/OVAdDictionary.h"

namespace plexora {

namespace {

std::int64_t int32ForKey(const platform::Value& dictionary, const char* key) {
  return std::clamp<std::int64_t>(integerForKey(dictionary, key, 0), std::numeric_limits<std::int32_t>::min(),
                                  std::numeric_limits<std::int32_t>::max());
}

std::optional<platform::URL> iconURLOf(const platform::Value& metadata) {
  const auto icon = dictionaryForKeyOrNil(metadata, kOVRewardedVideoAdIconKey);
  return icon ? OVNativeAdURLForKey(*icon, kOVNativeAdImageURLKey) : std::nullopt;
}

// The ad-choices icon exists as soon as its record does: the view lays out
// its slot from the size even when the location is missing.
std::shared_ptr<OVAdImage> adChoicesIconOf(const platform::Value& metadata) {
  const auto record = dictionaryForKeyOrNil(metadata, kOVRewardedVideoAdAdChoicesIconKey);
  if (!record) return nullptr;
  return OVAdImage::initWithURL(OVNativeAdURLForKey(*record, kOVNativeAdImageURLKey),
                                int32ForKey(*record, kOVNativeAdImageWidthKey),
                                int32ForKey(*record, kOVNativeAdImageHeightKey));
}

// The string form of the feature configuration is the server's whole
// configuration as JSON text.
void installFeatureConfigurationText(const platform::Value& metadata) {
  const auto text = stringForKeyOrNil(metadata, kOVAdDataModelFeatureConfigKey);
  if (!text) return;
  OVAdConfigManager::sharedManager()->loadConfigurationFromJSONString(*text).saveConfiguration();
}

}  // namespace

std::shared_ptr<OVRewardedVideoAdDataModel> OVRewardedVideoAdDataModel::initWithMetadata(
    const platform::Value& metadata) {
  if (metadata.isNull()) return nullptr;
  return std::make_shared<OVRewardedVideoAdDataModel>(metadata);
}

OVRewardedVideoAdDataModel::OVRewardedVideoAdDataModel(const platform::Value& metadata)
    : OVAdDataModel(metadata),
      metadata_(metadata.isDictionary() ? metadata : platform::Value(platform::Dictionary{})) {
  starRating_ = OVNativeAdStarRatingForKey(metadata_, kOVRewardedVideoAdStarRatingKey);
  destinationURL_ = OVNativeAdURLForKey(metadata_, kOVRewardedVideoAdDestinationURLKey);
  title_ = stringForKeyOrNil(metadata_, kOVRewardedVideoAdTitleKey);
  subtitle_ = stringForKeyOrNil(metadata_, kOVRewardedVideoAdSubtitleKey);
  socialContext_ = stringForKeyOrNil(metadata_, kOVRewardedVideoAdSocialContextKey);
  callToAction_ = stringForKeyOrNil(metadata_, kOVRewardedVideoAdCallToActionKey);
  body_ = stringForKeyOrNil(metadata_, kOVRewardedVideoAdBodyKey);
  iconURL_ = iconURLOf(metadata_);
  image_ = OVNativeAdImageForKey(metadata_, kOVRewardedVideoAdImageKey, kOVAdImageTypeCover);
  commandURL_ = OVNativeAdURLForKey(metadata_, kOVRewardedVideoAdCommandKey);
  manualImpressionEnabled_ = OVNativeAdFlagForKey(metadata_, kOVRewardedVideoAdManualImpressionKey);
  viewJSONLoggingEnabled_ = OVNativeAdFlagForKey(metadata_, kOVRewardedVideoAdViewLogKey);
  viewSnapshotLoggingEnabled_ = OVNativeAdFlagForKey(metadata_, kOVRewardedVideoAdSnapshotLogKey);
  snapshotDelayPostInSecond_ =
      integerForKey(metadata_, kOVRewardedVideoAdSnapshotDelayKey, kOVRewardedVideoAdDefaultSnapshotDelay);
  snapshotCompressionQuality_ = OVNativeAdPercentForKey(metadata_, kOVRewardedVideoAdSnapshotQualityKey);
  if (const auto seconds = numberForKeyOrNil(metadata_, kOVRewardedVideoAdSkippableSecondsKey)) {
    skippableSeconds_ = seconds->toDouble();
  }
  adChoicesIcon_ = adChoicesIconOf(metadata_);
  adChoicesLinkURL_ = OVNativeAdURLForKey(metadata_, kOVRewardedVideoAdAdChoicesLinkURLKey);
  adChoicesText_ = stringForKey(metadata_, kOVRewardedVideoAdAdChoicesTextKey, kOVRewardedVideoAdDefaultAdChoicesText);
  fullyClickable_ = boolForKey(metadata_, kOVRewardedVideoAdFullyClickableKey, false);
  videoURL_ = OVNativeAdURLForKey(metadata_, kOVRewardedVideoAdVideoURLKey);
  videoAutoplayEnabled_ = boolForKey(metadata_, kOVRewardedVideoAdVideoAutoplayKey, true);
  markup_ = stringForKeyOrNil(metadata_, kOVRewardedVideoAdEndCardMarkupKey);
  activationCommand_ = stringForKeyOrNil(metadata_, kOVRewardedVideoAdActivationCommandKey);
  contextSwitch_ = stringForKeyOrNil(metadata_, kOVRewardedVideoAdContextSwitchKey);
  installFeatureConfigurationText(metadata_);
}

bool OVRewardedVideoAdDataModel::isValid() const {
  return OVAdDataModel::isValid() && videoURL_ && !videoURL_->absoluteString().empty();
}

}  // namespace plexora
