#include "adapters/views/video/OVInstreamAdChoicesIcon.h"

#include <string>

namespace plexora {

namespace {

constexpr const char* kDataURLPrefix = "data:image/png;base64,";
// The ad-choices mark: a right-pointing triangle with an "i", 24 by 24
// pixels in a 4-bit palette.
constexpr const char* kIconPNGBase64 =
    "iVBORw0KGgoAAAANSUhEUgAAABgAAAAYBAMAAAASWSDLAAAACVBMVEX///8AqtL////IJXlqAAAAA3RSTlMA//9EUNYhAAAAQElEQVR42nXPUQoA"
    "IAgDULvBdoXuf8jCUhY0/x4bohF+BqEQbfABBbOLiVLWqniSqwIUqQZdArfNXQBzNf+fulnv2whGhhPE3gAAAABJRU5ErkJggg==";

}  // namespace

std::shared_ptr<OVAdImage> OVInstreamAdChoicesIcon::init() {
  return OVAdImage::initWithURL(platform::URL::parse(std::string(kDataURLPrefix) + kIconPNGBase64), kSize, kSize);
}

}  // namespace plexora
