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

// Waits for the ad's images and for every template's media view to show
// its content, then draws the templates. The job keeps itself while it
// waits, since the media views hold it only as their delegate.
class TemplatePicturesJob final : public OVMediaViewDelegate,
                                  public std::enable_shared_from_this<TemplatePicturesJob> {
 public:
  TemplatePicturesJob(std::vector<std::shared_ptr<OVNativeAdView>> templates, std::string directory,
                      OVNativeAdTemplatePicturesCompletion completion)
      : templates_(std::move(templates)), directory_(std::move(directory)), completion_(std::move(completion)) {}

  void start(const std::shared_ptr<OVNativeAd>& nativeAd) {
    self_ = shared_from_this();
    std::vector<std::shared_ptr<OVAdImage>> images;
    if (nativeAd && nativeAd->icon()) images.push_back(nativeAd->icon());
    if (nativeAd && nativeAd->coverImage()) images.push_back(nativeAd->coverImage());
    // The templates give their media views the ad only when it has both.
    const bool coversLoad = nativeAd && nativeAd->icon() && nativeAd->coverImage();
    for (const auto& view : templates_) {
      const auto cover = view->coverImageView();
      if (!coversLoad || !cover || !view->usesMediaView()) continue;
      cover->setDelegate(self_);
      ++pendingCovers_;
    }
    // The pictures wait for the images themselves rather than for the
    // templates' own loads, whose order against this one is not fixed.
    const std::weak_ptr<TemplatePicturesJob> weakSelf = self_;
    OVAdImage::loadImagesAsync(images,
                               [weakSelf](const OVAdImage::ImagesByRole& loaded, const OVAdImage::ImagesByURL&) {
                                 const auto job = weakSelf.lock();
                                 if (!job) return;
                                 job->images_ = loaded;
                                 job->imagesLoaded_ = true;
                                 job->finishIfReady();
                               });
  }

  void mediaViewDidLoad(const std::shared_ptr<OVMediaView>& /*mediaView*/) override {
    if (pendingCovers_ > 0) --pendingCovers_;
    finishIfReady();
  }

 private:
  void finishIfReady() {
    if (!imagesLoaded_ || pendingCovers_ > 0 || !self_) return;
    const auto keep = std::move(self_);
    const auto found = images_.find(kOVAdImageTypeIcon);
    const auto icon = found == images_.end() ? nullptr : found->second;
    platform::createDirectories(directory_);
    std::vector<std::string> paths;
    for (const auto& view : templates_) {
      if (const auto iconView = view->iconImageView()) iconView->setImage(icon);
      const auto picture = platform::renderView(*view, view->bounds(), OVAdScreen::scale(), kBackdrop);
      if (!picture) continue;
      const platform::Bytes png = picture->encodePNG();
      const std::string path = (std::filesystem::path(directory_) /
                                (kFilePrefix + std::to_string(static_cast<int>(view->fixedHeight())) + kFileSuffix))
                                   .string();
      if (!png.empty() && platform::writeFileAtomically(path, png)) paths.push_back(path);
    }
    if (completion_) completion_(paths);
  }

  std::vector<std::shared_ptr<OVNativeAdView>> templates_;
  std::string directory_;
  OVNativeAdTemplatePicturesCompletion completion_;
  std::shared_ptr<TemplatePicturesJob> self_;
  OVAdImage::ImagesByRole images_;
  bool imagesLoaded_ = false;
  std::size_t pendingCovers_ = 0;
};

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
  std::make_shared<TemplatePicturesJob>(std::move(templates), directory, std::move(completion))->start(nativeAd);
}

}  // namespace plexora
