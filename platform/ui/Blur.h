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
// Radii of 8 pixels and more are blurred on a copy reduced by a whole
// factor (the deviation left there is 4 to 8 of its pixels) and brought
// back by bilinear interpolation, which keeps the asked deviation: the
// answer is within about a level of the full kernel's, and the cost stays
// a few dozen operations a pixel however wide the radius (a smaller radius
// costs pixels times 6 * radius).
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
