#include "platform/media/PixelBufferScaler.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <utility>

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

namespace plexora::platform {

namespace {

static_assert(std::endian::native == std::endian::little, "pixels are stored as little-endian RGBA words");

constexpr uint32_t kOpaqueBlack = 0xff000000U;
// Samples are carried in 32ths of an 8-bit step (a chroma sample
// interpolated from four weighs them in sixteenths; centring it on 127.5
// takes one more bit), coefficients in 2^-14.
constexpr int kSampleShift = 5;
constexpr int kCoefficientShift = 14;
constexpr int kResultShift = kSampleShift + kCoefficientShift;
constexpr int32_t kChromaCentre = 255 << (kSampleShift - 1);  // 127.5 in 32ths
// Chroma sited at the centre of the luma samples it covers, in the 1/256
// luma pixels libswscale counts positions in: how a GPU samples a half-size
// texture.
constexpr int64_t kCentredChroma = 128;

struct Coefficients {
  int32_t c[9];
  int32_t lumaOffset;  // in 32ths
};

Coefficients fixedPoint(const YCbCrConversion& conversion) {
  Coefficients fixed{};
  for (int i = 0; i < 9; ++i) fixed.c[i] = static_cast<int32_t>(std::lround(conversion.matrix[i] * (1 << kCoefficientShift)));
  fixed.lumaOffset = static_cast<int32_t>(std::lround(conversion.lumaOffset * 255.0f * (1 << kSampleShift)));
  return fixed;
}

inline uint32_t clampToByte(int32_t value) { return static_cast<uint32_t>(std::clamp(value, 0, 255)); }

// One row: luma bytes and chroma already centred, in 32ths.
void convertRow(const uint8_t* luma, const int16_t* cb, const int16_t* cr, uint32_t* out, size_t count,
                const Coefficients& k) {
  constexpr int32_t kRound = 1 << (kResultShift - 1);
  for (size_t x = 0; x < count; ++x) {
    const int32_t y = (static_cast<int32_t>(luma[x]) << kSampleShift) - k.lumaOffset;
    const int32_t u = cb[x];
    const int32_t v = cr[x];
    const int32_t r = (k.c[0] * y + k.c[3] * u + k.c[6] * v + kRound) >> kResultShift;
    const int32_t g = (k.c[1] * y + k.c[4] * u + k.c[7] * v + kRound) >> kResultShift;
    const int32_t b = (k.c[2] * y + k.c[5] * u + k.c[8] * v + kRound) >> kResultShift;
    out[x] = clampToByte(r) | clampToByte(g) << 8 | clampToByte(b) << 16 | kOpaqueBlack;
  }
}

void fillBlack(uint32_t* row, size_t count) { std::fill_n(row, count, kOpaqueBlack); }

uint32_t* rowOf(const RGBATarget& target, size_t y) {
  return reinterpret_cast<uint32_t*>(target.pixels) + y * target.width;
}

// Everything outside `destination` black.
void paintBorders(const RGBATarget& target, PixelRect destination) {
  for (size_t y = 0; y < target.height; ++y) {
    uint32_t* row = rowOf(target, y);
    if (y < destination.y || y >= destination.y + destination.height) {
      fillBlack(row, target.width);
      continue;
    }
    fillBlack(row, destination.x);
    fillBlack(row + destination.x + destination.width, target.width - destination.x - destination.width);
  }
}

bool fits(PixelRect rect, size_t width, size_t height) {
  return rect.width > 0 && rect.height > 0 && rect.x <= width && rect.width <= width - rect.x && rect.y <= height &&
         rect.height <= height - rect.y;
}

// The picture's region at its own size: each chroma sample weighs 9/16 on
// the pixels it covers and spreads 3/16 and 1/16 to their neighbours, as
// bilinear sampling of the chroma plane at luma pixel centres does (edges
// clamped).
void convertAtOwnSize(const PixelBuffer& picture, PixelRect source, const RGBATarget& target,
                      PixelRect destination, const Coefficients& k) {
  const size_t chromaWidth = picture.widthOfPlane(1);
  const size_t chromaHeight = picture.heightOfPlane(1);
  const size_t lumaStride = picture.bytesPerRowOfPlane(0);
  const size_t chromaStride = picture.bytesPerRowOfPlane(1);
  const uint8_t* lumaPlane = picture.baseAddressOfPlane(0);
  const uint8_t* chromaPlane = picture.baseAddressOfPlane(1);
  // Vertically interpolated chroma (in quarters), one clamped column each
  // side, then per luma column (in sixteenths, centred, in 32ths).
  std::vector<int16_t> cbColumns(chromaWidth + 2);
  std::vector<int16_t> crColumns(chromaWidth + 2);
  std::vector<int16_t> cb(chromaWidth * 2);
  std::vector<int16_t> cr(chromaWidth * 2);
  for (size_t row = 0; row < source.height; ++row) {
    const size_t y = source.y + row;
    const size_t near = y / 2;
    const size_t far = (y & 1) != 0 ? std::min(near + 1, chromaHeight - 1) : (near > 0 ? near - 1 : 0);
    const uint8_t* nearRow = chromaPlane + near * chromaStride;
    const uint8_t* farRow = chromaPlane + far * chromaStride;
    for (size_t i = 0; i < chromaWidth; ++i) {
      cbColumns[i + 1] = static_cast<int16_t>(3 * nearRow[2 * i] + farRow[2 * i]);
      crColumns[i + 1] = static_cast<int16_t>(3 * nearRow[2 * i + 1] + farRow[2 * i + 1]);
    }
    cbColumns[0] = cbColumns[1];
    crColumns[0] = crColumns[1];
    cbColumns[chromaWidth + 1] = cbColumns[chromaWidth];
    crColumns[chromaWidth + 1] = crColumns[chromaWidth];
    for (size_t i = 0; i < chromaWidth; ++i) {
      const int32_t cbNear = 3 * cbColumns[i + 1];
      const int32_t crNear = 3 * crColumns[i + 1];
      cb[2 * i] = static_cast<int16_t>(2 * (cbNear + cbColumns[i]) - kChromaCentre);
      cb[2 * i + 1] = static_cast<int16_t>(2 * (cbNear + cbColumns[i + 2]) - kChromaCentre);
      cr[2 * i] = static_cast<int16_t>(2 * (crNear + crColumns[i]) - kChromaCentre);
      cr[2 * i + 1] = static_cast<int16_t>(2 * (crNear + crColumns[i + 2]) - kChromaCentre);
    }
    convertRow(lumaPlane + y * lumaStride + source.x, cb.data() + source.x, cr.data() + source.x,
               rowOf(target, destination.y + row) + destination.x, source.width, k);
  }
}

}  // namespace

PixelBufferScaler::~PixelBufferScaler() { sws_freeContext(scaler_); }

bool PixelBufferScaler::scaleToFullChroma(PixelBuffer& picture, PixelRect source, PixelRect destination) {
  const int flags = SWS_ACCURATE_RND | (destination.width < source.width || destination.height < source.height
                                            ? SWS_AREA
                                            : SWS_BILINEAR);
  const auto sourceWidth = static_cast<int64_t>(source.width);
  const auto sourceHeight = static_cast<int64_t>(source.height);
  const auto width = static_cast<int64_t>(destination.width);
  const auto height = static_cast<int64_t>(destination.height);
  int64_t current[5] = {};
  if (scaler_ != nullptr) {
    av_opt_get_int(scaler_, "srcw", 0, &current[0]);
    av_opt_get_int(scaler_, "srch", 0, &current[1]);
    av_opt_get_int(scaler_, "dstw", 0, &current[2]);
    av_opt_get_int(scaler_, "dsth", 0, &current[3]);
    av_opt_get_int(scaler_, "sws_flags", 0, &current[4]);
  }
  if (scaler_ == nullptr || current[0] != sourceWidth || current[1] != sourceHeight || current[2] != width ||
      current[3] != height || current[4] != flags) {
    sws_freeContext(scaler_);
    scaler_ = sws_alloc_context();
    if (scaler_ == nullptr) return false;
    av_opt_set_int(scaler_, "srcw", sourceWidth, 0);
    av_opt_set_int(scaler_, "srch", sourceHeight, 0);
    av_opt_set_int(scaler_, "src_format", AV_PIX_FMT_NV12, 0);
    av_opt_set_int(scaler_, "dstw", width, 0);
    av_opt_set_int(scaler_, "dsth", height, 0);
    av_opt_set_int(scaler_, "dst_format", AV_PIX_FMT_YUV444P, 0);
    av_opt_set_int(scaler_, "sws_flags", flags, 0);
    av_opt_set_int(scaler_, "src_h_chr_pos", kCentredChroma, 0);
    av_opt_set_int(scaler_, "src_v_chr_pos", kCentredChroma, 0);
    if (sws_init_context(scaler_, nullptr, nullptr) < 0) {
      sws_freeContext(scaler_);
      scaler_ = nullptr;
      return false;
    }
  }
  const size_t planeBytes = destination.width * destination.height;
  for (auto& plane : planes_) plane.resize(planeBytes);
  const uint8_t* const sourcePlanes[4] = {
      picture.baseAddressOfPlane(0) + source.y * picture.bytesPerRowOfPlane(0) + source.x,
      picture.baseAddressOfPlane(1) + source.y / 2 * picture.bytesPerRowOfPlane(1) + source.x / 2 * 2, nullptr,
      nullptr};
  const int sourceStrides[4] = {static_cast<int>(picture.bytesPerRowOfPlane(0)),
                                static_cast<int>(picture.bytesPerRowOfPlane(1)), 0, 0};
  uint8_t* const planes[4] = {planes_[0].data(), planes_[1].data(), planes_[2].data(), nullptr};
  const int strides[4] = {static_cast<int>(destination.width), static_cast<int>(destination.width),
                          static_cast<int>(destination.width), 0};
  return sws_scale(scaler_, sourcePlanes, sourceStrides, 0, static_cast<int>(source.height), planes, strides) ==
         static_cast<int>(destination.height);
}

bool PixelBufferScaler::draw(PixelBuffer& picture, PixelRect source, const RGBATarget& target,
                             PixelRect destination, const YCbCrConversion& conversion) {
  if (target.pixels == nullptr) return false;
  const bool drawable = fits(source, picture.width(), picture.height()) &&
                        fits(destination, target.width, target.height);
  if (!drawable) {
    paintBorders(target, {});
    return false;
  }
  const Coefficients k = fixedPoint(conversion);
  picture.lockBaseAddress(PixelBuffer::LockFlags::kReadOnly);
  bool drawn = true;
  if (source.width == destination.width && source.height == destination.height) {
    convertAtOwnSize(picture, source, target, destination, k);
  } else {
    // libswscale reads the chroma plane from the pair of rows and columns
    // the region starts in.
    source.x &= ~size_t{1};
    source.y &= ~size_t{1};
    drawn = scaleToFullChroma(picture, source, destination);
    if (drawn) {
      std::vector<int16_t> cb(destination.width);
      std::vector<int16_t> cr(destination.width);
      for (size_t row = 0; row < destination.height; ++row) {
        const size_t offset = row * destination.width;
        for (size_t x = 0; x < destination.width; ++x) {
          cb[x] = static_cast<int16_t>((planes_[1][offset + x] << kSampleShift) - kChromaCentre);
          cr[x] = static_cast<int16_t>((planes_[2][offset + x] << kSampleShift) - kChromaCentre);
        }
        convertRow(planes_[0].data() + offset, cb.data(), cr.data(), rowOf(target, destination.y + row) + destination.x,
                   destination.width, k);
      }
    }
  }
  picture.unlockBaseAddress(PixelBuffer::LockFlags::kReadOnly);
  paintBorders(target, drawn ? destination : PixelRect{});
  return drawn;
}

}  // namespace plexora::platform
