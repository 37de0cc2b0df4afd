#include "adapters/OVNativeAdAssets.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "util/OVAdDictionary.h"

namespace plexora {

namespace {

// Sizes beyond 32 bits are not sizes; they stop at the range's ends.
std::int64_t int32ForKey(const platform::Value& dictionary, const char* key) {
  const std::int64_t value = integerForKey(dictionary, key, 0);
  return std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                  std::numeric_limits<std::int32_t>::max());
}

constexpr std::int64_t kMaximumPercent = 100;
constexpr double kPercent = 100.0;

}  // namespace

bool OVNativeAdFlagForKey(const platform::Value& dictionary, const char* key) {
  const auto number = numberForKeyOrNil(dictionary, key);
  return number && number->toBool();
}

OVAdStarRating OVNativeAdStarRatingForKey(const platform::Value& dictionary, const char* key) {
  const auto rating = dictionaryForKeyOrNil(dictionary, key);
  if (!rating) return {};
  return {doubleForKey(*rating, kOVNativeAdStarRatingValueKey, 0.0),
          integerForKey(*rating, kOVNativeAdStarRatingScaleKey, 0)};
}

double OVNativeAdPercentForKey(const platform::Value& dictionary, const char* key) {
  const auto percent = numberForKeyOrNil(dictionary, key);
  if (!percent) return 0.0;
  const std::int64_t value = percent->toInt64();
  return value >= 0 && value <= kMaximumPercent ? static_cast<double>(value) / kPercent : 0.0;
}

std::optional<platform::URL> OVNativeAdURLForKey(const platform::Value& dictionary, const char* key) {
  const auto text = stringForKeyOrNil(dictionary, key);
  if (!text || text->empty()) return std::nullopt;
  return platform::URL::parse(*text);
}

std::shared_ptr<OVAdImage> OVNativeAdImageForKey(const platform::Value& dictionary, const char* key,
                                                 OVAdImageType type) {
  const auto record = dictionaryForKeyOrNil(dictionary, key);
  if (!record) return nullptr;
  auto url = OVNativeAdURLForKey(*record, kOVNativeAdImageURLKey);
  if (!url) return nullptr;
  auto image = OVAdImage::initWithURL(std::move(url), int32ForKey(*record, kOVNativeAdImageWidthKey),
                                      int32ForKey(*record, kOVNativeAdImageHeightKey));
  image->setType(type);
  return image;
}

}  // namespace plexora
