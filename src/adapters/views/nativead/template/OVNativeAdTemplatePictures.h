// Pictures of the four native ad templates filled from one ad, written as
// PNG files: what a demo shows of the templates without a screen.
//
// Thread safety: main thread only; the completion runs on the main queue.
// Ownership: the templates live until their pictures are written.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace plexora {

class OVNativeAd;

// "native-template-<height>.png" in `directory` (made when missing) for the
// heights 100, 120, 300 and 400, each template 375 points wide at the
// screen's scale over white, drawn once the ad's icon and cover image are loaded and each cover media view
// shows its content. The
// completion gets the paths written; a file that could not be written is
// left out. The templates do not register with the ad.
using OVNativeAdTemplatePicturesCompletion = std::function<void(const std::vector<std::string>& paths)>;
void OVNativeAdWriteTemplatePictures(const std::shared_ptr<OVNativeAd>& nativeAd, const std::string& directory,
                                     OVNativeAdTemplatePicturesCompletion completion);

}  // namespace plexora
