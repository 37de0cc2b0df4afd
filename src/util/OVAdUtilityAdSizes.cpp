// Ad sizes, the template identifier they map to, and conversions between the
// server's orientation codes and the interface's orientations.
#include <algorithm>

#include "util/OVAdInlineHelpers.h"
#include "util/OVAdScreen.h"
#include "util/OVAdUtility.h"

namespace plexora {
namespace {

constexpr std::int64_t kTemplateID320x50 = 4;
constexpr std::int64_t kTemplateIDHeight50Banner = 5;
constexpr std::int64_t kTemplateIDHeight90Banner = 6;
constexpr std::int64_t kTemplateIDHeight250Rectangle = 7;
constexpr std::int64_t kTemplateIDInterstitialLandscape = 101;
constexpr std::int64_t kTemplateIDInterstitialPortrait = 102;
constexpr std::int64_t kTemplateIDInterstitialPad = 103;
constexpr std::int64_t kTemplateIDOther = 200;

// The narrowest a flexible-width ad is ever laid out.
constexpr double kMinimumFlexibleWidth = 320.0;

constexpr platform::InterfaceOrientationMask kPortraitMask =
    platform::kInterfaceOrientationMaskPortrait | platform::kInterfaceOrientationMaskPortraitUpsideDown;

// The pad template follows the interface idiom alone, not the device
// families the application declares.
std::int64_t interstitialTemplateID() {
  if (OVAdIsPadIdiom()) {
    return kTemplateIDInterstitialPad;
  }
  const auto screen = OVAdScreen::sizeInOrientation();
  return screen.height > screen.width ? kTemplateIDInterstitialPortrait : kTemplateIDInterstitialLandscape;
}

}  // namespace

std::int64_t OVAdUtility::getTemplateID(OVAdSize adSize) {
  if (adSize == kOVAdSize320x50) return kTemplateID320x50;
  if (adSize == kOVAdSizeHeight50Banner) return kTemplateIDHeight50Banner;
  if (adSize == kOVAdSizeHeight90Banner) return kTemplateIDHeight90Banner;
  if (adSize == kOVAdSizeInterstitial) return interstitialTemplateID();
  if (adSize == kOVAdSizeHeight250Rectangle) return kTemplateIDHeight250Rectangle;
  return kTemplateIDOther;
}

bool OVAdUtility::isAdSizeType(OVAdSize adSize, OVAdSize otherAdSize) { return adSize == otherAdSize; }

platform::Size OVAdUtility::sizeThatFits(platform::Size fittingSize, bool isFlexibleAdSize, OVAdSize actualAdSize) {
  const double width = isFlexibleAdSize ? std::max(fittingSize.width, kMinimumFlexibleWidth) : actualAdSize.width;
  return {width, actualAdSize.height};
}

platform::InterfaceOrientation OVAdUtility::interfaceOrientationFromServerOrientation(
    OVAdServerOrientation serverOrientation) {
  switch (serverOrientation) {
    case kOVAdServerOrientationPortrait:
      return platform::InterfaceOrientation::Portrait;
    case kOVAdServerOrientationLandscape:
      return platform::InterfaceOrientation::LandscapeLeft;
    default:
      return platform::InterfaceOrientation::Unknown;
  }
}

bool OVAdUtility::interfaceOrientationMaskSupportsPortrait(platform::InterfaceOrientationMask mask) {
  return (mask & kPortraitMask) != 0;
}

bool OVAdUtility::interfaceOrientationMaskSupportsLandscape(platform::InterfaceOrientationMask mask) {
  return (mask & platform::kInterfaceOrientationMaskLandscape) != 0;
}

OVAdServerOrientation OVAdUtility::serverOrientationFromInterfaceOrientationMask(
    platform::InterfaceOrientationMask mask) {
  const bool portrait = interfaceOrientationMaskSupportsPortrait(mask);
  const bool landscape = interfaceOrientationMaskSupportsLandscape(mask);
  if (portrait == landscape) return kOVAdServerOrientationAny;
  return portrait ? kOVAdServerOrientationPortrait : kOVAdServerOrientationLandscape;
}

}  // namespace plexora
