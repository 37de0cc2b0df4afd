#include "adapters/views/nativead/template/OVNativeAdTemplatePictures.h"

#include <filesystem>

#include "platform/foundation/Files.h"
#include "platform/ui/Image.h"
#include "platform/ui/ViewRendering.h"
#include "plexora/OVAdImage.h"
#include "plexora/OVNativeAd.h"
#include "plexora/OVNativeAdView.h"
#include "util/OVAdScreen.h"

namespace plexora {

namespace {

constexpr double kPictureWidth = 375.0;
constexpr const char* kFilePrefix = "native-template-";
constexpr const char* kFileSuffix = ".png";
// What shows through where the style leaves a template transparent, as a
// host's white screen would.
constexpr platform::Color kBackdrop = platform::Color::white();

}  // namespace

void OVNativeAdWriteTemplatePictures(const std::shared_ptr<OVNativeAd>& nativeAd, const std::string& directory,
                                     OVNativeAdTemplatePicturesCompletion completion) {
  std::vector<std::shared_ptr<OVNativeAdView>> templates;
  for (OVNativeAdViewTemplateType type = kOVNativeAdViewTypeGenericHeight100;
       type <= kOVNativeAdViewTypeGenericHeight400; ++type) {
    auto view = OVNativeAdView::nativeAdViewWithNativeAd(nativeAd, type,
                                                         OVNativeAdViewAttributes::internalAttributesForType(type));
    view->setFrame({0, 0, kPictureWidth, view->fixedHeight()});
    templates.push_back(std::move(view));
  }
  std::vector<std::shared_ptr<OVAdImage>> images;
  if (nativeAd && nativeAd->icon()) images.push_back(nativeAd->icon());
  if (nativeAd && nativeAd->coverImage()) images.push_back(nativeAd->coverImage());

  // The pictures wait for the images themselves rather than for the
  // templates' own loads, whose order against this one is not fixed.
  OVAdImage::loadImagesAsync(images, [templates, directory, completion = std::move(completion)](
                                         const OVAdImage::ImagesByRole& loaded, const OVAdImage::ImagesByURL&) {
    const auto find = [&](OVAdImageType type) {
      const auto found = loaded.find(type);
      return found == loaded.end() ? nullptr : found->second;
    };
    platform::createDirectories(directory);
    std::vector<std::string> paths;
    for (const auto& view : templates) {
      if (const auto icon = view->iconImageView()) icon->setImage(find(kOVAdImageTypeIcon));
      if (const auto cover = view->coverImageView(); cover && view->usesMediaView()) {
        cover->setImage(find(kOVAdImageTypeCover));
      }
      const auto picture = platform::renderView(*view, view->bounds(), OVAdScreen::scale(), kBackdrop);
      if (!picture) continue;
      const platform::Bytes png = picture->encodePNG();
      const std::string path = (std::filesystem::path(directory) /
                                (kFilePrefix + std::to_string(static_cast<int>(view->fixedHeight())) + kFileSuffix))
                                   .string();
      if (!png.empty() && platform::writeFileAtomically(path, png)) paths.push_back(path);
    }
    if (completion) completion(paths);
  });
}

}  // namespace plexora
