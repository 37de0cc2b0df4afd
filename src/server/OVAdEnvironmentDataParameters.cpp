// The request parameters: the device and application keys first, then the
// keys of this load, in the order the server has always received them.

#include <array>
#include <string>
#include <vector>

#include "dto/OVAdBidPayload.h"
#include "internal/bridging/OVAdEngineProbes.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/MainBundle.h"
#include "plexora/OVAdSettings.h"
#include "server/OVAdConnectionInfo.h"
#include "server/OVAdEnvironmentData.h"
#include "server/OVAdEnvironmentDataSources.h"
#include "tracking/OVAdClientEventManager.h"
#include "util/OVAdAdvertisingIdentifier.h"
#include "util/OVAdDevice.h"
#include "util/OVAdDeviceState.h"
#include "util/OVAdDeviceVolume.h"
#include "util/OVAdInlineHelpers.h"
#include "util/OVAdScreen.h"
#include "util/OVAdSdkCapabilityUtility.h"
#include "util/OVAdUtility.h"

namespace plexora {
namespace {

using platform::Dictionary;
using platform::Value;

constexpr const char* kScreenHeightKey = "SCREEN_HEIGHT";
constexpr const char* kScreenWidthKey = "SCREEN_WIDTH";
constexpr const char* kDensityKey = "DENSITY";
constexpr const char* kSdkVersionKey = "SDK_VERSION";
constexpr const char* kSdkCapabilityKey = "SDK_CAPABILITY";
constexpr const char* kSecurityDisabledKey = "SECURITY_DISABLED";
constexpr const char* kOSKey = "OS";
constexpr const char* kSdkKey = "SDK";
constexpr const char* kMakeKey = "MAKE";
constexpr const char* kModelKey = "MODEL";
constexpr const char* kOSVersionKey = "OSVERS";
constexpr const char* kBundleKey = "BUNDLE";
constexpr const char* kAppVersionKey = "APPVERS";
constexpr const char* kAppBuildKey = "APPBUILD";
constexpr const char* kLocaleKey = "LOCALE";
constexpr const char* kMediationServiceKey = "MEDIATION_SERVICE";
constexpr const char* kNetworkTypeKey = "NETWORK_TYPE";
constexpr const char* kSessionIdKey = "SESSION_ID";
constexpr const char* kSessionTimeKey = "SESSION_TIME";
constexpr const char* kUnityKey = "UNITY";
constexpr const char* kPlacementIdKey = "PLACEMENT_ID";
constexpr const char* kBidIdKey = "BID_ID";
constexpr const char* kTestModeKey = "TEST_MODE";
constexpr const char* kDemoAdIdKey = "DEMO_AD_ID";
constexpr const char* kIdfaKey = "IDFA";
constexpr const char* kIdfaFlagKey = "IDFA_FLAG";
constexpr const char* kCoppaKey = "COPPA";
constexpr const char* kWidthKey = "WIDTH";
constexpr const char* kHeightKey = "HEIGHT";
constexpr const char* kTemplateIdKey = "TEMPLATE_ID";
constexpr const char* kNumAdsRequestedKey = "NUM_ADS_REQUESTED";
constexpr const char* kClientEventsKey = "CLIENT_EVENTS";
constexpr const char* kVolumeKey = "VOLUME";
constexpr const char* kRequestTimeKey = "REQUEST_TIME";
constexpr const char* kAdaptersKey = "ADAPTERS";
constexpr const char* kOrientationKey = "ORIENTATION";
constexpr const char* kCocos2dKey = "COCOS2D";

constexpr const char* kOSValue = "iOS";
constexpr const char* kSdkValue = "ios";
constexpr const char* kMakeValue = "Apple";
constexpr const char* kCapabilityOpen = "[";
constexpr const char* kCapabilityClose = "]";
constexpr const char* kListSeparator = ",";
constexpr const char* kFlagSet = "1";
constexpr const char* kFlagClear = "0";

// Indexed by the settings' test ad type minus 1.
constexpr std::array<const char*, 10> kDemoAdNames = {
    "IMG_16_9_APP_INSTALL",        "IMG_16_9_LINK",
    "VID_HD_16_9_46S_APP_INSTALL", "VID_HD_16_9_46S_LINK",
    "VID_HD_16_9_15S_APP_INSTALL", "VID_HD_16_9_15S_LINK",
    "VID_HD_9_16_39S_APP_INSTALL", "VID_HD_9_16_39S_LINK",
    "CAROUSEL_IMG_SQUARE_APP_INSTALL", "CAROUSEL_IMG_SQUARE_LINK",
};

// A value the device does not have leaves its key out rather than sending
// it empty.
void setIfPresent(Dictionary& parameters, const char* key, const std::optional<std::string>& value) {
  if (value.has_value() && !value->empty()) {
    parameters.set(key, *value);
  }
}

std::string joined(const std::vector<std::string>& items) {
  std::string text;
  for (std::size_t index = 0; index < items.size(); ++index) {
    if (index > 0) {
      text += kListSeparator;
    }
    text += items[index];
  }
  return text;
}

std::string capabilityText() {
  std::vector<std::string> codes;
  for (const std::int64_t capability : OVAdSdkCapabilityUtility::supportedCapabilities()) {
    codes.push_back(std::to_string(capability));
  }
  return kCapabilityOpen + joined(codes) + kCapabilityClose;
}

std::optional<std::string> demoAdName(std::int64_t testAdType) {
  if (testAdType < 1 || testAdType > static_cast<std::int64_t>(kDemoAdNames.size())) {
    return std::nullopt;
  }
  return kDemoAdNames[static_cast<std::size_t>(testAdType - 1)];
}

}  // namespace

Dictionary OVAdEnvironmentData::deviceAndApplicationParameters() {
  Dictionary parameters;
  const platform::Size screenSize = OVAdScreen::sizeInOrientation();
  parameters.set(kScreenHeightKey, screenSize.height);
  parameters.set(kScreenWidthKey, screenSize.width);
  parameters.set(kDensityKey, platform::numberText(OVAdScreen::scale()));
  parameters.set(kSdkVersionKey, kOVAdLibraryVersion);
  parameters.set(kSdkCapabilityKey, capabilityText());
  parameters.set(kSecurityDisabledKey, OVAdIsSecurityDisabled() ? kFlagSet : kFlagClear);
  parameters.set(kOSKey, kOSValue);
  parameters.set(kSdkKey, kSdkValue);
  parameters.set(kMakeKey, kMakeValue);
  setIfPresent(parameters, kModelKey, OVAdDevice::machine());
  setIfPresent(parameters, kOSVersionKey, OVAdDevice::systemVersion());
  const platform::MainBundleInfo bundle = platform::mainBundleInfo();
  setIfPresent(parameters, kBundleKey, bundle.bundleIdentifier);
  setIfPresent(parameters, kAppVersionKey, bundle.shortVersion);
  setIfPresent(parameters, kAppBuildKey, bundle.bundleVersion);
  parameters.set(kLocaleKey, OVAdUtility::currentLocale());
  setIfPresent(parameters, kMediationServiceKey, OVAdSettings::getMediationService());
  parameters.set(kNetworkTypeKey, OVAdConnectionInfo::currentConnectionCategory());
  const OVAdSessionFacts session = currentSessionFacts();
  setIfPresent(parameters, kSessionIdKey, session.sessionId);
  parameters.set(kSessionTimeKey, platform::numberText(session.sessionTime));
  parameters.set(kUnityKey, OVAdDetectUnity() != nullptr ? 1 : 0);
  return parameters;
}

Dictionary OVAdEnvironmentData::adRequestParameters() const {
  if (!hasValidDefinition()) {
    return {};
  }
  Dictionary parameters = deviceAndApplicationParameters();
  parameters.set(kPlacementIdKey, *placementID_);
  if (bidPayload_ != nullptr && bidPayload_->hasBidID()) {
    parameters.set(kBidIdKey, std::to_string(bidPayload_->bidID()));
  }
  if (OVAdSettings::isTestMode()) {
    parameters.set(kTestModeKey, 1);
    setIfPresent(parameters, kDemoAdIdKey, demoAdName(OVAdSettings::testAdType()));
  }
  setIfPresent(parameters, kIdfaKey, getAdvertisingIdentifier());
  parameters.set(kIdfaFlagKey, isAdvertisingTrackingEnabled() ? kFlagSet : kFlagClear);
  parameters.set(kCoppaKey, OVAdSettings::isChildDirected() ? 1 : 0);
  parameters.set(kWidthKey, adSize_.width);
  parameters.set(kHeightKey, adSize_.height);
  parameters.set(kTemplateIdKey, platform::numberText(templateId_));
  parameters.set(kNumAdsRequestedKey, numAdsRequested_);
  parameters.set(kClientEventsKey, OVAdClientEventManager::dumpClientEventsToJson());
  parameters.set(kVolumeKey, deviceVolume());
  parameters.set(kRequestTimeKey, platform::numberText(platform::Clock::current()->wallTime()));
  // The server wants the adapters a native load could use, whatever this
  // load's type is.
  parameters.set(kAdaptersKey, joined(currentAvailableAdapters(kOVAdPlacementTypeNative)));
  parameters.set(kOrientationKey, OVAdUtility::serverOrientationFromInterfaceOrientationMask(
                                      OVAdUtility::supportedInterfaceOrientationsForWindow(nullptr)));
  parameters.set(kCocos2dKey, OVAdDetectCocos2d() == kOVAdCocos2dDetected ? 1 : 0);
  OVAdStartMotionSampling();
  return parameters;
}

}  // namespace plexora
