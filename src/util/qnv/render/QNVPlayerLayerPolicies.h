// The player layer's decisions that depend only on their inputs: which
// decoder a stream gets, the size it is decoded at, the colour conversion
// of a picture, whether a frame's textures need mipmaps and whether frames
// are drawn with GL or on the CPU. Kept apart from the layer's threads so
// each rule can be checked on its own.
//
// Thread safety: pure functions, callable from any thread.
// Ownership: nothing is kept; the conversions answered are static.
#pragma once

#include <string_view>

#include "platform/media/PixelBuffer.h"
#include "platform/ui/Geometry.h"
#include "util/qnv/render/QNVPlayerRenderer.h"

namespace plexora {

enum class QNVDecoderKind { kVP9, kSystem, kSoftware };

// A VP9 stream gets the VP9 session; otherwise the platform's decoder when
// it offers one, else the decoder without it.
QNVDecoderKind qnvDecoderKindFor(bool vp9Stream, bool systemDecoderAvailable);

// The size to decode a `frame`-sized stream at: the frame itself, or with
// `optimizeMemory` the frame fitted into the layer's pixels (bounds times
// `contentsScale`), only ever shrinking and keeping the frame's aspect.
platform::Size qnvDecodeSize(platform::Size frame, bool optimizeMemory, platform::Rect layerBounds,
                             double contentsScale);

// The picture's matrix (BT.601 when its decoder said so, else BT.709) and
// range (full when its decoder said so, else video range).
const QNVColorConversion* qnvColorConversionOf(const platform::PixelBuffer& picture);

// Whether a `picture`-sized frame drawn at `drawn` pixels needs mipmaps:
// only when drawn smaller than half its size on some axis, where sampling
// the full picture alone would skip texels and alias. Not for a frame
// drawn at no size.
bool qnvNeedsMipmaps(platform::Size picture, platform::Size drawn);

// How frames are drawn: through GL and the renderer, or converted and
// scaled on the CPU straight into the presented picture.
enum class QNVDrawingPath { kGL, kCPU };
// A layer's setting: automatic follows the GL renderer; the others force
// a path where it can draw.
enum class QNVDrawingChoice { kAutomatic, kGL, kCPU };

// Mesa's software rasterisers (llvmpipe, softpipe, swrast): GL there shades
// every pixel on the CPU, at several times the cost of converting the
// frame directly.
bool qnvIsSoftwareRasterizer(std::string_view glRenderer);

// The CPU path draws only what the default renderer would (no custom
// renderer's shaders) without rotation; anything else takes GL.
QNVDrawingPath qnvDrawingPathFor(QNVDrawingChoice choice, std::string_view glRenderer, bool defaultRenderer,
                                 double rotation);

}  // namespace plexora
