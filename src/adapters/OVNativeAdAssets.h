// Reading the assets that native data shares between the ad and its
// carousel cards: locations and image records.
//
// Thread safety: pure functions over the caller's values.
#pragma once

#include <memory>
#include <optional>

#include "platform/foundation/URL.h"
#include "platform/value/Value.h"
#include "plexora/OVAdImage.h"
#include "plexora/OVAdStarRating.h"

namespace plexora {

inline constexpr const char* kOVNativeAdImageURLKey = "url";
inline constexpr const char* kOVNativeAdImageWidthKey = "width";
inline constexpr const char* kOVNativeAdImageHeightKey = "height";
inline constexpr const char* kOVNativeAdStarRatingValueKey = "value";
inline constexpr const char* kOVNativeAdStarRatingScaleKey = "scale";

// The URL made from the text under `key`; none when there is no text or it
// is no URL.
std::optional<platform::URL> OVNativeAdURLForKey(const platform::Value& dictionary, const char* key);

// The image record under `key`: a dictionary whose "url" is a URL, with its
// "width" and "height" as 32-bit integers (0 when absent), given `type`.
// None otherwise: an image without a location could never be shown.
// The truth of the number under `key`; false when there is none.
bool OVNativeAdFlagForKey(const platform::Value& dictionary, const char* key);
// The rating record under `key` ({"value", "scale"}); zeros when there is no
// record.
OVAdStarRating OVNativeAdStarRatingForKey(const platform::Value& dictionary, const char* key);
// The whole percent under `key` as a fraction; 0 when absent or outside 0 to
// 100.
double OVNativeAdPercentForKey(const platform::Value& dictionary, const char* key);
std::shared_ptr<OVAdImage> OVNativeAdImageForKey(const platform::Value& dictionary, const char* key,
                                                 OVAdImageType type);

}  // namespace plexora
