#include "adapters/OVHTMLAdDataModel.h"

#include "util/OVAdDictionary.h"
#include "util/OVAdUtility.h"

namespace plexora {

namespace {

std::optional<double> numberOrNone(const platform::Value& dictionary, const char* key) {
  auto number = numberForKeyOrNil(dictionary, key);
  return number ? std::optional<double>(number->toDouble()) : std::nullopt;
}

std::optional<bool> flagOrNone(const platform::Value& dictionary, const char* key) {
  auto number = numberForKeyOrNil(dictionary, key);
  return number ? std::optional<bool>(number->toBool()) : std::nullopt;
}

}  // namespace

std::shared_ptr<OVHTMLAdDataModel> OVHTMLAdDataModel::initWithMetadata(const platform::Value& metadata) {
  if (metadata.isNull()) {
    return nullptr;
  }
  return std::make_shared<OVHTMLAdDataModel>(metadata);
}

std::shared_ptr<OVHTMLAdDataModel> OVHTMLAdDataModel::create() { return initWithMetadata(platform::Dictionary{}); }

OVHTMLAdDataModel::OVHTMLAdDataModel(const platform::Value& metadata)
    : OVAdDataModel(metadata),
      markup_(stringForKeyOrNil(metadata, kOVHTMLAdDataModelMarkupKey)),
      activationCommand_(stringForKeyOrNil(metadata, kOVHTMLAdDataModelActivationCommandKey)) {
  const platform::Value creative =
      dictionaryForKey(metadata, kOVHTMLAdDataModelMetadataKey, platform::Value(platform::Dictionary{}));
  isTablet_ = flagOrNone(creative, kOVHTMLAdDataModelIsTabletKey);
  adHeight_ = numberOrNone(creative, kOVHTMLAdDataModelAdHeightKey);
  adWidth_ = numberOrNone(creative, kOVHTMLAdDataModelAdWidthKey);
  isVideo_ = flagOrNone(creative, kOVHTMLAdDataModelIsVideoKey);
  orientation_ = OVAdUtility::interfaceOrientationFromServerOrientation(
      integerForKey(creative, kOVHTMLAdDataModelOrientationKey, kOVAdServerOrientationAny));
}

bool OVHTMLAdDataModel::isValid() const { return OVAdDataModel::isValid() && markup_ && !markup_->empty(); }

}  // namespace plexora
