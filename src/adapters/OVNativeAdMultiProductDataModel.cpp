#include "adapters/OVNativeAdMultiProductDataModel.h"

#include "adapters/OVNativeAdAssets.h"
#include "adapters/OVNativeAdDataModel.h"
#include "util/OVAdDictionary.h"

namespace plexora {

std::shared_ptr<OVNativeAdMultiProductDataModel> OVNativeAdMultiProductDataModel::initWithMetadata(
    const platform::Value& metadata) {
  return std::make_shared<OVNativeAdMultiProductDataModel>(metadata);
}

std::shared_ptr<OVNativeAdMultiProductDataModel> OVNativeAdMultiProductDataModel::create() {
  return initWithMetadata(platform::Dictionary{});
}

OVNativeAdMultiProductDataModel::OVNativeAdMultiProductDataModel(const platform::Value& metadata)
    : OVAdDataModel(metadata),
      metadata_(metadata.isDictionary() ? metadata : platform::Value(platform::Dictionary{})),
      title_(stringForKeyOrNil(metadata, kOVNativeAdTitleKey)),
      subtitle_(stringForKeyOrNil(metadata, kOVNativeAdSubtitleKey)),
      body_(stringForKeyOrNil(metadata, kOVNativeAdBodyKey)),
      callToAction_(stringForKeyOrNil(metadata, kOVNativeAdCallToActionKey)),
      image_(OVNativeAdImageForKey(metadata, kOVNativeAdImageKey, kOVAdImageTypeCover)),
      commandURL_(OVNativeAdURLForKey(metadata, kOVNativeAdCommandKey)) {}

bool OVNativeAdMultiProductDataModel::isValid() const {
  return image_ && image_->url() && !image_->url()->absoluteString().empty();
}

}  // namespace plexora
