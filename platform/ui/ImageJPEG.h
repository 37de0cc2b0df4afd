// JPEG reading and writing for Image (over libjpeg-turbo); the image code's own helper,
// not meant for other callers.
//
// Thread safety: callable from any thread; nothing is shared between calls.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

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

// A baseline JPEG of the RGBA pixels (alpha dropped) at a quality from 0 to
// 1; empty if the encoder fails.
Bytes encodeRGBAAsJPEG(std::uint32_t pixelWidth, std::uint32_t pixelHeight, std::span<const std::uint8_t> rgba,
                       double quality);

}  // namespace plexora::platform
