// Gaussian blur of an image, in software.
//
// The radius is the standard deviation of the Gaussian, in pixels of the
// image (not points). The image is treated as extending without end beyond
// its edges, each pixel out there repeating the nearest edge pixel, and the
// answer is cut back to the image's own pixels: same pixel size and scale,
// and edges that keep their colour instead of fading into transparent
// black. Colours are blurred premultiplied by their alpha, so transparent
// pixels lend no colour to their neighbours.
//
// The cost grows with pixels times min(6 * radius, the image's longer side).
//
// Thread safety: callable from any thread while nobody writes to `image`.
#pragma once

#include <memory>

#include "platform/ui/Image.h"

namespace plexora::platform {

// A radius of 0, below 0 or not a number answers an unblurred copy. Null
// only when memory runs out.
std::shared_ptr<Image> gaussianBlur(const Image& image, double radius);

}  // namespace plexora::platform
