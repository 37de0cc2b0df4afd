#include "adapters/OVNativeAdDataModel.h"

#include "adapters/OVNativeAdAssets.h"
#include "adapters/OVNativeAdMultiProductDataModel.h"
#include "plexora/OVAdImage.h"
#include "plexora/OVNativeAdViewAttributes.h"
#include "util/OVAdDictionary.h"
#include "util/OVAdUtility.h"

namespace plexora {

std::shared_ptr<OVNativeAdDataModel> OVNativeAdDataModel::initWithMetadata(const platform::Value& metadata) {
  return std::make_shared<OVNativeAdDataModel>(metadata);
}

OVNativeAdDataModel::OVNativeAdDataModel(const platform::Value& metadata)
    : OVAdDataModel(metadata),
      metadata_(metadata.isDictionary() ? metadata : platform::Value(platform::Dictionary{})) {
  starRating_ = OVNativeAdStarRatingForKey(metadata_, kOVNativeAdStarRatingKey);
  destinationURL_ = OVNativeAdURLForKey(metadata_, kOVNativeAdDestinationURLKey);
  title_ = stringForKeyOrNil(metadata_, kOVNativeAdTitleKey);
  subtitle_ = stringForKeyOrNil(metadata_, kOVNativeAdSubtitleKey);
  socialContext_ = stringForKeyOrNil(metadata_, kOVNativeAdSocialContextKey);
  callToAction_ = stringForKeyOrNil(metadata_, kOVNativeAdCallToActionKey);
  body_ = stringForKeyOrNil(metadata_, kOVNativeAdBodyKey);
  icon_ = OVNativeAdImageForKey(metadata_, kOVNativeAdIconKey, kOVAdImageTypeIcon);
  image_ = OVNativeAdImageForKey(metadata_, kOVNativeAdImageKey, kOVAdImageTypeCover);
  commandURL_ = OVNativeAdURLForKey(metadata_, kOVNativeAdCommandKey);
  manualImpressionEnabled_ = OVNativeAdFlagForKey(metadata_, kOVNativeAdManualImpressionKey);
  viewJSONLoggingEnabled_ = OVNativeAdFlagForKey(metadata_, kOVNativeAdViewLogKey);
  viewSnapshotLoggingEnabled_ = OVNativeAdFlagForKey(metadata_, kOVNativeAdSnapshotLogKey);
  snapshotDelayPostInSecond_ = integerForKey(metadata_, kOVNativeAdSnapshotDelayKey, kOVNativeAdDefaultSnapshotDelay);
  snapshotCompressionQuality_ = OVNativeAdPercentForKey(metadata_, kOVNativeAdSnapshotQualityKey);
  // An ad-choices icon without a location would be an image that can never
  // load, so there is none, as for every other image.
  adChoicesIcon_ = OVNativeAdImageForKey(metadata_, kOVNativeAdAdChoicesIconKey, kOVAdImageTypeOther);
  adChoicesLinkURL_ = OVNativeAdURLForKey(metadata_, kOVNativeAdAdChoicesLinkURLKey);
  adChoicesText_ = stringForKey(metadata_, kOVNativeAdAdChoicesTextKey, kOVNativeAdDefaultAdChoicesText);
  const auto uiConfig = dictionaryForKeyOrNil(metadata_, kOVNativeAdUIConfigKey);
  if (uiConfig && !uiConfig->asDictionary().empty()) {
    adViewAttributes_ = OVNativeAdViewAttributes::initWithDictionary(*uiConfig);
  }
  fullyClickable_ = boolForKey(metadata_, kOVNativeAdFullyClickableKey, false);
  videoURL_ = OVNativeAdURLForKey(metadata_, kOVNativeAdVideoURLKey);
  if (const auto autoplay = numberForKeyOrNil(metadata_, kOVNativeAdVideoAutoplayKey)) {
    videoAutoplayEnabled_ = autoplay->toBool();
  }
  multiProductAdContent_ = processMultiProductAdMetadata(arrayForKeyOrNil(metadata_, kOVNativeAdCarouselKey));
}

bool OVNativeAdDataModel::isValid() const {
  return OVAdDataModel::isValid() && title_ && !title_->empty() && callToAction_ && !callToAction_->empty() &&
         image_ && image_->url() && !image_->url()->absoluteString().empty();
}

OVNativeAdDataModel::Cards OVNativeAdDataModel::processMultiProductAdMetadata(
    const std::optional<platform::Value>& carousel) const {
  Cards cards;
  if (!carousel || !carousel->isArray()) return cards;
  const auto& token = inlineClientToken();
  const bool hasToken = token && !token->empty();
  for (const auto& entry : carousel->asArray()) {
    if (!entry.isDictionary()) continue;
    platform::Value card = entry;
    if (hasToken) card.set(kOVAdDataModelClientTokenKey, *token);
    cards.push_back(OVNativeAdMultiProductDataModel::initWithMetadata(card));
  }
  return cards;
}

}  // namespace plexora
