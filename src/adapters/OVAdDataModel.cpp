#include "adapters/OVAdDataModel.h"

#include "util/OVAdConfigManager.h"
#include "util/OVAdDictionary.h"

namespace plexora {

std::shared_ptr<OVAdDataModel> OVAdDataModel::initWithMetadata(const platform::Value& metadata) {
  if (metadata.isNull()) {
    return nullptr;
  }
  return std::shared_ptr<OVAdDataModel>(new OVAdDataModel(metadata));
}

std::shared_ptr<OVAdDataModel> OVAdDataModel::create() { return initWithMetadata(platform::Dictionary{}); }

OVAdDataModel::OVAdDataModel(const platform::Value& metadata)
    : requestId_(stringForKeyOrNil(metadata, kOVAdDataModelRequestIdKey)),
      inlineClientToken_(stringForKeyOrNil(metadata, kOVAdDataModelClientTokenKey)) {
  // The configuration rides with every ad so the server can switch features
  // before this very ad is shown.
  if (auto featureConfig = dictionaryForKeyOrNil(metadata, kOVAdDataModelFeatureConfigKey)) {
    OVAdConfigManager::sharedManager()->loadConfigurationFromDictionary(*featureConfig).saveConfiguration();
  }
}

bool OVAdDataModel::isValid() const { return inlineClientToken_.has_value() && !inlineClientToken_->empty(); }

}  // namespace plexora
