#include "platform/media/PixelBufferScaler.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <utility>

#if defined(__x86_64__)
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

namespace plexora::platform {

namespace {

static_assert(std::endian::native == std::endian::little, "pixels are stored as little-endian RGBA words");

constexpr uint32_t kOpaqueBlack = 0xff000000U;
// 16-bit fixed point throughout, so that eight pixels go through SSE2 at
// once: samples in 64ths of an 8-bit step (a chroma sample interpolated
// from four weighs them in sixteenths), coefficients in 2^-13, products
// keeping their high 16 bits (eighths of a step).
constexpr int kSampleShift = 6;
constexpr int kCoefficientShift = 13;
constexpr int kResultShift = kSampleShift + kCoefficientShift - 16;
constexpr int16_t kChromaCentre = 255 << (kSampleShift - 1);  // 127.5 in 64ths
// Chroma sited at the centre of the luma samples it covers, in the 1/256
// luma pixels libswscale counts positions in: how a GPU samples a half-size
// texture.
constexpr int64_t kCentredChroma = 128;

struct Coefficients {
  int16_t c[9];
  int16_t lumaOffset;  // in 64ths
};

Coefficients fixedPoint(const YCbCrConversion& conversion) {
  Coefficients fixed{};
  for (int i = 0; i < 9; ++i) {
    fixed.c[i] = static_cast<int16_t>(std::lround(conversion.matrix[i] * (1 << kCoefficientShift)));
  }
  fixed.lumaOffset = static_cast<int16_t>(std::lround(conversion.lumaOffset * 255.0f * (1 << kSampleShift)));
  return fixed;
}

// The high half of a 16 by 16-bit product, as SSE2's pmulhw gives it.
inline int16_t productHigh(int16_t a, int16_t b) {
  return static_cast<int16_t>((static_cast<int32_t>(a) * b) >> 16);
}

inline uint32_t toByte(int32_t eighths) {
  return static_cast<uint32_t>(std::clamp((eighths + (1 << (kResultShift - 1))) >> kResultShift, 0, 255));
}

void convertPixels(const uint8_t* luma, const int16_t* cb, const int16_t* cr, uint32_t* out, size_t count,
                   const Coefficients& k) {
  for (size_t x = 0; x < count; ++x) {
    const auto y = static_cast<int16_t>((luma[x] << kSampleShift) - k.lumaOffset);
    const int16_t u = cb[x];
    const int16_t v = cr[x];
    const int32_t r = productHigh(y, k.c[0]) + productHigh(u, k.c[3]) + productHigh(v, k.c[6]);
    const int32_t g = productHigh(y, k.c[1]) + productHigh(u, k.c[4]) + productHigh(v, k.c[7]);
    const int32_t b = productHigh(y, k.c[2]) + productHigh(u, k.c[5]) + productHigh(v, k.c[8]);
    out[x] = toByte(r) | toByte(g) << 8 | toByte(b) << 16 | kOpaqueBlack;
  }
}

#if defined(__x86_64__)
// Bytes of one channel of sixteen pixels, each 128-bit lane its eight
// pixels twice.
__attribute__((target("avx2"))) inline __m256i channelAVX2(__m256i y, __m256i u, __m256i v, const __m256i* c,
                                                           int row, __m256i round) {
  const __m256i sum = _mm256_add_epi16(
      _mm256_add_epi16(_mm256_mulhi_epi16(y, c[row]), _mm256_mulhi_epi16(u, c[row + 3])),
      _mm256_mulhi_epi16(v, c[row + 6]));
  const __m256i rounded = _mm256_srai_epi16(_mm256_add_epi16(sum, round), kResultShift);
  return _mm256_packus_epi16(rounded, rounded);
}

// Sixteen pixels at once where the CPU has AVX2; the same arithmetic as
// below, so either gives the same bytes.
__attribute__((target("avx2"))) size_t convertRowAVX2(const uint8_t* luma, const int16_t* cb, const int16_t* cr,
                                                      uint32_t* out, size_t count, const Coefficients& k) {
  constexpr size_t kLanes = 16;
  const __m256i opaque = _mm256_set1_epi8(static_cast<char>(0xff));
  const __m256i offset = _mm256_set1_epi16(k.lumaOffset);
  const __m256i round = _mm256_set1_epi16(1 << (kResultShift - 1));
  __m256i c[9];
  for (int i = 0; i < 9; ++i) c[i] = _mm256_set1_epi16(k.c[i]);
  size_t x = 0;
  for (; x + kLanes <= count; x += kLanes) {
    const __m256i y = _mm256_sub_epi16(
        _mm256_slli_epi16(_mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(luma + x))),
                          kSampleShift),
        offset);
    const __m256i u = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(cb + x));
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(cr + x));
    const __m256i redGreen =
        _mm256_unpacklo_epi8(channelAVX2(y, u, v, c, 0, round), channelAVX2(y, u, v, c, 1, round));
    const __m256i blueAlpha = _mm256_unpacklo_epi8(channelAVX2(y, u, v, c, 2, round), opaque);
    // Pixels 0-3 and 8-11, then 4-7 and 12-15.
    const __m256i low = _mm256_unpacklo_epi16(redGreen, blueAlpha);
    const __m256i high = _mm256_unpackhi_epi16(redGreen, blueAlpha);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), _mm256_permute2x128_si256(low, high, 0x20));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x + kLanes / 2), _mm256_permute2x128_si256(low, high, 0x31));
  }
  return x;
}

const bool kHasAVX2 = __builtin_cpu_supports("avx2");
#endif

// One row: luma bytes and chroma already centred, in 64ths.
void convertRow(const uint8_t* luma, const int16_t* cb, const int16_t* cr, uint32_t* out, size_t count,
                const Coefficients& k) {
  size_t x = 0;
#if defined(__x86_64__)
  if (kHasAVX2) x = convertRowAVX2(luma, cb, cr, out, count, k);
#endif
#if defined(__SSE2__)
  constexpr size_t kLanes = 8;
  const __m128i zero = _mm_setzero_si128();
  const __m128i opaque = _mm_set1_epi8(static_cast<char>(0xff));
  const __m128i offset = _mm_set1_epi16(k.lumaOffset);
  const __m128i round = _mm_set1_epi16(1 << (kResultShift - 1));
  __m128i c[9];
  for (int i = 0; i < 9; ++i) c[i] = _mm_set1_epi16(k.c[i]);
  for (; x + kLanes <= count; x += kLanes) {
    const __m128i y = _mm_sub_epi16(
        _mm_slli_epi16(_mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(luma + x)), zero),
                       kSampleShift),
        offset);
    const __m128i u = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cb + x));
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cr + x));
    auto channel = [&](int row) {
      const __m128i sum = _mm_add_epi16(_mm_add_epi16(_mm_mulhi_epi16(y, c[row]), _mm_mulhi_epi16(u, c[row + 3])),
                                        _mm_mulhi_epi16(v, c[row + 6]));
      const __m128i rounded = _mm_srai_epi16(_mm_add_epi16(sum, round), kResultShift);
      return _mm_packus_epi16(rounded, rounded);
    };
    const __m128i redGreen = _mm_unpacklo_epi8(channel(0), channel(1));
    const __m128i blueAlpha = _mm_unpacklo_epi8(channel(2), opaque);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_unpacklo_epi16(redGreen, blueAlpha));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x + kLanes / 2), _mm_unpackhi_epi16(redGreen, blueAlpha));
  }
#endif
  convertPixels(luma + x, cb + x, cr + x, out + x, count - x, k);
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

// Where a picture's Cb and Cr samples lie: interleaved in one plane (NV12)
// or each in a plane of its own (I420).
struct ChromaPlanes {
  const uint8_t* cb;
  const uint8_t* cr;
  size_t stride;
  size_t step;  // bytes from one sample to the next in a row
};

ChromaPlanes chromaPlanesOf(const PixelBuffer& picture) {
  if (picture.pixelFormat() == PixelFormat::kNV12) {
    const uint8_t* plane = picture.baseAddressOfPlane(1);
    return {plane, plane + 1, picture.bytesPerRowOfPlane(1), 2};
  }
  return {picture.baseAddressOfPlane(1), picture.baseAddressOfPlane(2), picture.bytesPerRowOfPlane(1), 1};
}

// One chroma component interpolated to the luma columns of a row: `near`
// and `far` are its two nearest chroma rows, weighed 3:1; each column then
// takes 3/4 of its own sample and 1/4 of the neighbour on its side (edges
// clamped). Results centred, in 64ths; `vertical` holds `count` + 2.
template <size_t step>
void interpolateChroma(const uint8_t* near, const uint8_t* far, size_t count, int16_t* vertical, int16_t* out) {
  constexpr int kToSixtyFourths = 1 << (kSampleShift - 4);
  // Sample i at vertical[i + 1], its clamped neighbours at i and i + 2.
  for (size_t j = 0; j < count; ++j) vertical[j + 1] = static_cast<int16_t>(3 * near[j * step] + far[j * step]);
  vertical[0] = vertical[1];
  vertical[count + 1] = vertical[count];
  for (size_t i = 0; i < count; ++i) {
    out[2 * i] = static_cast<int16_t>(kToSixtyFourths * (3 * vertical[i + 1] + vertical[i]) - kChromaCentre);
    out[2 * i + 1] = static_cast<int16_t>(kToSixtyFourths * (3 * vertical[i + 1] + vertical[i + 2]) - kChromaCentre);
  }
}

// The picture's region at its own size: each chroma sample weighs 9/16 on
// the pixels it covers and spreads 3/16 and 1/16 to their neighbours, as
// bilinear sampling of the chroma plane at luma pixel centres does (edges
// clamped).
void convertAtOwnSize(const PixelBuffer& picture, PixelRect source, const RGBATarget& target, PixelRect destination,
                      const Coefficients& k, ChromaScratch& scratch) {
  const size_t chromaHeight = picture.heightOfPlane(1);
  const size_t lumaStride = picture.bytesPerRowOfPlane(0);
  const uint8_t* lumaPlane = picture.baseAddressOfPlane(0);
  const ChromaPlanes chroma = chromaPlanesOf(picture);
  // Only the chroma columns the region covers, with one more each side
  // where the picture has it.
  const size_t firstColumn = source.x / 2 > 0 ? source.x / 2 - 1 : 0;
  const size_t endColumn = std::min(picture.widthOfPlane(1), (source.x + source.width + 1) / 2 + 1);
  const size_t columns = endColumn - firstColumn;
  scratch.vertical.resize(columns + 2);
  scratch.cb.resize(columns * 2);
  scratch.cr.resize(columns * 2);
  const size_t skipped = source.x - firstColumn * 2;
  for (size_t row = 0; row < source.height; ++row) {
    const size_t y = source.y + row;
    const size_t near = y / 2;
    const size_t far = (y & 1) != 0 ? std::min(near + 1, chromaHeight - 1) : (near > 0 ? near - 1 : 0);
    const size_t nearAt = near * chroma.stride + firstColumn * chroma.step;
    const size_t farAt = far * chroma.stride + firstColumn * chroma.step;
    // The step as a constant lets the compiler vectorise the loops.
    const auto interpolate = chroma.step == 1 ? interpolateChroma<1> : interpolateChroma<2>;
    interpolate(chroma.cb + nearAt, chroma.cb + farAt, columns, scratch.vertical.data(), scratch.cb.data());
    interpolate(chroma.cr + nearAt, chroma.cr + farAt, columns, scratch.vertical.data(), scratch.cr.data());
    convertRow(lumaPlane + y * lumaStride + source.x, scratch.cb.data() + skipped, scratch.cr.data() + skipped,
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
  const bool planar = picture.pixelFormat() == PixelFormat::kI420;
  const int64_t sourceFormat = planar ? AV_PIX_FMT_YUV420P : AV_PIX_FMT_NV12;
  int64_t current[6] = {};
  if (scaler_ != nullptr) {
    av_opt_get_int(scaler_, "srcw", 0, &current[0]);
    av_opt_get_int(scaler_, "srch", 0, &current[1]);
    av_opt_get_int(scaler_, "dstw", 0, &current[2]);
    av_opt_get_int(scaler_, "dsth", 0, &current[3]);
    av_opt_get_int(scaler_, "sws_flags", 0, &current[4]);
    av_opt_get_int(scaler_, "src_format", 0, &current[5]);
  }
  if (scaler_ == nullptr || current[0] != sourceWidth || current[1] != sourceHeight || current[2] != width ||
      current[3] != height || current[4] != flags || current[5] != sourceFormat) {
    sws_freeContext(scaler_);
    scaler_ = sws_alloc_context();
    if (scaler_ == nullptr) return false;
    av_opt_set_int(scaler_, "srcw", sourceWidth, 0);
    av_opt_set_int(scaler_, "srch", sourceHeight, 0);
    av_opt_set_int(scaler_, "src_format", sourceFormat, 0);
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
  const PixelBuffer& locked = picture;
  // Straight from the decoder's planes: libswscale reads either layout.
  const uint8_t* sourcePlanes[4] = {};
  int sourceStrides[4] = {};
  for (size_t plane = 0; plane < picture.planeCount(); ++plane) {
    const size_t column = plane == 0 ? source.x : (planar ? source.x / 2 : source.x / 2 * 2);
    const size_t row = plane == 0 ? source.y : source.y / 2;
    sourcePlanes[plane] = locked.baseAddressOfPlane(plane) + row * picture.bytesPerRowOfPlane(plane) + column;
    sourceStrides[plane] = static_cast<int>(picture.bytesPerRowOfPlane(plane));
  }
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
    convertAtOwnSize(picture, source, target, destination, k, chroma_);
  } else {
    // libswscale reads the chroma plane from the pair of rows and columns
    // the region starts in.
    source.x &= ~size_t{1};
    source.y &= ~size_t{1};
    drawn = scaleToFullChroma(picture, source, destination);
    if (drawn) {
      std::vector<int16_t>& cb = chroma_.cb;
      std::vector<int16_t>& cr = chroma_.cr;
      cb.resize(destination.width);
      cr.resize(destination.width);
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
