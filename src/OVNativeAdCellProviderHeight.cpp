#include "OVNativeAdCellProviderHeight.h"

#include <cstdio>

#include "platform/foundation/Exception.h"
#include "plexora/OVNativeAdListAdProvider.h"
#include "util/OVAdUtility.h"

namespace plexora {

namespace {

constexpr const char* kHeightOperation = "heightForRowAtIndexPath";

}  // namespace

double OVNativeAdCellProviderHeight(OVNativeAdViewTemplateType type, const char* className) {
  switch (type) {
    case kOVNativeAdViewTypeGenericHeight100: return 100.0;
    case kOVNativeAdViewTypeGenericHeight120: return 120.0;
    case kOVNativeAdViewTypeGenericHeight300: return 300.0;
    case kOVNativeAdViewTypeGenericHeight400: return 400.0;
    case kOVNativeAdViewTypeNone: return 250.0;
    default: {
      char reason[256];
      std::snprintf(reason, sizeof reason, kOVNativeAdCellProviderNotImplementedReason, className, kHeightOperation);
      OVAdUtility::throwExceptionWithName(platform::kInternalInconsistencyException, reason);
    }
  }
}

}  // namespace plexora
