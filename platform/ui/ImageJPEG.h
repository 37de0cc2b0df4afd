// JPEG reading for Image (over libjpeg-turbo); the image code's own helper,
// not meant for other callers.
//
// Thread safety: callable from any thread; nothing is shared between calls.
#pragma once

#include <memory>

#include "platform/foundation/Bytes.h"
#include "platform/ui/Image.h"

namespace plexora::platform {

bool hasJPEGSignature(ByteView bytes);

// Greyscale, YCbCr and RGB JPEGs, baseline or progressive. Null for other
// colour spaces (CMYK), for images beyond the size bound (see Image.h), and
// for damaged data: what libjpeg merely warns about (a truncated stream,
// corrupt entropy data) fails the decode rather than answer a half-grey
// picture.
std::shared_ptr<Image> decodeJPEG(ByteView bytes, double scale);

}  // namespace plexora::platform
