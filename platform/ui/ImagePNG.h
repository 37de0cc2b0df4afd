// PNG reading and writing for Image (over libpng); the image code's own
// helpers, not meant for other callers.
//
// Thread safety: callable from any thread; nothing is shared between calls.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "platform/foundation/Bytes.h"
#include "platform/ui/Image.h"

namespace plexora::platform {

bool hasPNGSignature(ByteView bytes);

// Null for anything that is not a whole, sound PNG within the image size
// bound (see Image.h).
std::shared_ptr<Image> decodePNG(ByteView bytes, double scale);

// `rgba` holds pixelWidth * pixelHeight straight-alpha RGBA pixels; empty
// when libpng fails.
Bytes encodeRGBAAsPNG(std::uint32_t pixelWidth, std::uint32_t pixelHeight, std::span<const std::uint8_t> rgba);

}  // namespace plexora::platform
