// The row heights the table and collection view cell providers answer for
// their template type.
//
// Thread safety: any thread.
#pragma once

#include "plexora/OVNativeAdView.h"

namespace plexora {

// The template's fixed height, and 250 for kOVNativeAdViewTypeNone. Any
// other type throws platform::Exception (kInternalInconsistencyException)
// naming `className` and the height operation.
double OVNativeAdCellProviderHeight(OVNativeAdViewTemplateType type, const char* className);

}  // namespace plexora
