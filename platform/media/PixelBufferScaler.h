// Draws 4:2:0 pictures (NV12 or I420) into RGBA on the CPU, converted and scaled once,
// straight to the size they are shown at: where GL is a software
// rasteriser, shading a textured quad costs several times what converting
// the picture directly does.
//
// A picture drawn at its own size is converted here, its chroma
// interpolated from sample centres as a GPU samples a half-size texture.
// Any other size is scaled with libswscale (area averaging when it shrinks,
// bilinear when it grows) to full-resolution YCbCr, then converted.
//
// Thread safety: none; one thread at a time (the layer's render side).
// Ownership: the scaler owns its libswscale context and scratch planes;
// pictures and targets stay the caller's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/media/PixelBuffer.h"

struct SwsContext;

namespace plexora::platform {

// rgb = matrix * (y - lumaOffset, cb - 0.5, cr - 0.5), samples and result
// in 0...1, the matrix column-major.
struct YCbCrConversion {
  float matrix[9];
  float lumaOffset;
};

struct PixelRect {
  size_t x = 0;
  size_t y = 0;
  size_t width = 0;
  size_t height = 0;
};

// Rows of straight RGBA, top first, `width` * 4 bytes a row.
struct RGBATarget {
  uint8_t* pixels = nullptr;
  size_t width = 0;
  size_t height = 0;
};

// Rows of chroma interpolated to luma columns, kept between pictures so that
// drawing allocates nothing once the sizes settle.
struct ChromaScratch {
  std::vector<int16_t> vertical;
  std::vector<int16_t> cb;
  std::vector<int16_t> cr;
};

class PixelBufferScaler final {
 public:
  PixelBufferScaler() = default;
  ~PixelBufferScaler();
  PixelBufferScaler(const PixelBufferScaler&) = delete;
  PixelBufferScaler& operator=(const PixelBufferScaler&) = delete;

  // Draws `source` (a region of the picture) into `destination` (a region
  // of the target) and paints the rest of the target opaque black. False,
  // with the target all black, when a region is empty or lies outside its
  // picture, or libswscale refuses the sizes.
  bool draw(PixelBuffer& picture, PixelRect source, const RGBATarget& target, PixelRect destination,
            const YCbCrConversion& conversion);

 private:
  bool scaleToFullChroma(PixelBuffer& picture, PixelRect source, PixelRect destination);

  SwsContext* scaler_ = nullptr;
  std::vector<uint8_t> planes_[3];  // Y, Cb, Cr at the destination's size
  ChromaScratch chroma_;
};

}  // namespace plexora::platform
