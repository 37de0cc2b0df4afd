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

}  // namespace

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
