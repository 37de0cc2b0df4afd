// The image record of native ad data: where an image lives, the size the
// server states for it and its role in the ad, with loading of one image or
// of a batch into the shared resource cache.
//
//   OVAdImage::loadImagesAsync({ad->icon(), ad->coverImage()},
//                              [](const OVAdImage::ImagesByRole& images, const OVAdImage::ImagesByURL&) { ... });
//
// Thread safety: a record never changes once its role is set, so it may be
// read on any thread; the loads are started on the main thread and answer
// there.
// Ownership: shared by the data models and ads that name the image; the
// loaded images belong to the resource cache.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Export.h"
#include "platform/foundation/URL.h"

namespace plexora::platform {
class Image;
}

namespace plexora {

// The role of an image in its ad.
using OVAdImageType = std::int64_t;
inline constexpr OVAdImageType kOVAdImageTypeOther = 0;  // the ad-choices icon
inline constexpr OVAdImageType kOVAdImageTypeCover = 1;  // the cover image and carousel card images
inline constexpr OVAdImageType kOVAdImageTypeIcon = 2;

class PLEXORA_EXPORT OVAdImage final {
 public:
  using ImageBlock = std::function<void(const std::shared_ptr<platform::Image>& image)>;
  // The loaded images by role; a later image of a role replaces an earlier one.
  using ImagesByRole = std::map<OVAdImageType, std::shared_ptr<platform::Image>>;
  // Images by their URL's text.
  using ImagesByURL = std::map<std::string, std::shared_ptr<platform::Image>>;
  using BatchBlock = std::function<void(const ImagesByRole& images, const ImagesByURL& blurredCovers)>;

  // No URL and no size.
  static std::shared_ptr<OVAdImage> init();
  // Role kOVAdImageTypeOther until set.
  static std::shared_ptr<OVAdImage> initWithURL(std::optional<platform::URL> url, std::int64_t width,
                                                std::int64_t height);

  // Starts loading the image into the resource cache; nothing reports back.
  void preloadImageAsync() const;
  // The image from the resource cache, loaded when it is not there; none
  // when it could not be loaded. On the main queue.
  void loadImageAsyncWithBlock(ImageBlock block) const;

  // Loads every image; once all have answered, the block gets the loaded
  // ones by role and no blurred covers, on the main queue.
  static void loadImagesAsync(const std::vector<std::shared_ptr<OVAdImage>>& images, BatchBlock block);
  // The same; with `withContext` the loaded covers are also blurred (through
  // the resource cache) and the block gets them by URL.
  static void loadImagesAsyncWithBlurredImages(const std::vector<std::shared_ptr<OVAdImage>>& images,
                                               bool withContext, BatchBlock block);

  const std::optional<platform::URL>& url() const { return url_; }
  std::int64_t width() const { return width_; }
  std::int64_t height() const { return height_; }
  OVAdImageType type() const { return type_; }
  void setType(OVAdImageType type) { type_ = type; }

  OVAdImage(std::optional<platform::URL> url, std::int64_t width, std::int64_t height);

 private:
  std::optional<platform::URL> url_;
  std::int64_t width_ = 0;
  std::int64_t height_ = 0;
  OVAdImageType type_ = kOVAdImageTypeOther;
};

}  // namespace plexora
