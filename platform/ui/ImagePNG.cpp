// libpng reports errors by longjmp to the last setjmp. Each libpng call runs
// inside one of the small "stage" functions below, which arm setjmp first
// and hold no object with a destructor, so a jump never skips one. Buffers
// and the libpng structures live in the calling C++ function, which owns
// and frees them whatever the stage answered.
#include "platform/ui/ImagePNG.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <iterator>
#include <new>
#include <utility>
#include <vector>

#include "platform/ui/PixelBufferPool.h"

namespace plexora::platform {
namespace {

constexpr std::uint8_t kPNGSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr png_byte kOpaque = 0xFF;
constexpr int kBitsPerComponent = 8;
// libpng refuses wider or taller images than its limits; the pixel bound
// is the tighter check, made once the header is read.
constexpr png_uint_32 kDimensionLimit =
    static_cast<png_uint_32>(std::min<std::uint64_t>(kMaxImagePixelCount, PNG_UINT_31_MAX));

struct ReadCursor {
  ByteView bytes;
  std::size_t offset = 0;
};

struct Layout {
  png_uint_32 width = 0;
  png_uint_32 height = 0;
  std::size_t rowBytes = 0;
  png_byte channels = 0;
  png_byte bitDepth = 0;
};

[[noreturn]] void jumpToStage(png_structp png, png_const_charp) { png_longjmp(png, 1); }

void ignoreWarning(png_structp, png_const_charp) {}

void readFromCursor(png_structp png, png_bytep out, std::size_t length) {
  auto* cursor = static_cast<ReadCursor*>(png_get_io_ptr(png));
  if (length > cursor->bytes.size() - cursor->offset) png_error(png, "truncated");
  std::memcpy(out, cursor->bytes.data() + cursor->offset, length);
  cursor->offset += length;
}

void appendToBytes(png_structp png, png_bytep data, std::size_t length) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  bool appended = false;
  try {
    out->insert(out->end(), data, data + length);
    appended = true;
  } catch (const std::bad_alloc&) {
  }
  if (!appended) png_error(png, "out of memory");
}

void flushNothing(png_structp) {}

// Every colour type and depth becomes 8-bit RGBA, opaque where the file has
// no transparency.
void requestRGBA8(png_structp png, png_infop info) {
  const png_byte colorType = png_get_color_type(png, info);
  const png_byte bitDepth = png_get_bit_depth(png, info);
  if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (colorType == PNG_COLOR_TYPE_GRAY && bitDepth < kBitsPerComponent) png_set_expand_gray_1_2_4_to_8(png);
  if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
  if (bitDepth > kBitsPerComponent) png_set_scale_16(png);
  if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
  png_set_add_alpha(png, kOpaque, PNG_FILLER_AFTER);
  png_set_interlace_handling(png);
}

// Stage: the header, and the layout of the rows once converted.
bool readLayout(png_structp png, png_infop info, ReadCursor* cursor, Layout* layout) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_read_fn(png, cursor, readFromCursor);
  png_set_user_limits(png, kDimensionLimit, kDimensionLimit);
  png_read_info(png, info);
  requestRGBA8(png, info);
  png_read_update_info(png, info);
  layout->width = png_get_image_width(png, info);
  layout->height = png_get_image_height(png, info);
  layout->rowBytes = png_get_rowbytes(png, info);
  layout->channels = png_get_channels(png, info);
  layout->bitDepth = png_get_bit_depth(png, info);
  return true;
}

// Stage: every row, then the rest of the file up to its end chunk.
bool readRows(png_structp png, png_infop info, png_bytepp rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_image(png, rows);
  png_read_end(png, info);
  return true;
}

// Stage: the whole file.
bool writeRows(png_structp png, png_infop info, Bytes* out, png_uint_32 width, png_uint_32 height, png_bytepp rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_write_fn(png, out, appendToBytes, flushNothing);
  png_set_user_limits(png, kDimensionLimit, kDimensionLimit);
  png_set_IHDR(png, info, width, height, kBitsPerComponent, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_write_image(png, rows);
  png_write_end(png, info);
  return true;
}

class PNGReader {
 public:
  PNGReader()
      : png_(png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, jumpToStage, ignoreWarning)),
        info_(png_ ? png_create_info_struct(png_) : nullptr) {}
  ~PNGReader() { png_destroy_read_struct(png_ ? &png_ : nullptr, info_ ? &info_ : nullptr, nullptr); }
  PNGReader(const PNGReader&) = delete;
  PNGReader& operator=(const PNGReader&) = delete;

  bool isReady() const { return png_ && info_; }
  png_structp png() const { return png_; }
  png_infop info() const { return info_; }

 private:
  png_structp png_;
  png_infop info_;
};

class PNGWriter {
 public:
  PNGWriter()
      : png_(png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, jumpToStage, ignoreWarning)),
        info_(png_ ? png_create_info_struct(png_) : nullptr) {}
  ~PNGWriter() { png_destroy_write_struct(png_ ? &png_ : nullptr, info_ ? &info_ : nullptr); }
  PNGWriter(const PNGWriter&) = delete;
  PNGWriter& operator=(const PNGWriter&) = delete;

  bool isReady() const { return png_ && info_; }
  png_structp png() const { return png_; }
  png_infop info() const { return info_; }

 private:
  png_structp png_;
  png_infop info_;
};

// Row pointers into a buffer of `height` rows of `rowBytes`.
std::vector<png_bytep> rowPointers(png_bytep first, std::size_t rowBytes, png_uint_32 height) {
  std::vector<png_bytep> rows(height);
  for (png_uint_32 y = 0; y < height; ++y) rows[y] = first + std::size_t{y} * rowBytes;
  return rows;
}

}  // namespace

bool hasPNGSignature(ByteView bytes) {
  return bytes.size() >= sizeof kPNGSignature &&
         std::equal(std::begin(kPNGSignature), std::end(kPNGSignature), bytes.begin());
}

std::shared_ptr<Image> decodePNG(ByteView bytes, double scale) {
  PNGReader reader;
  if (!reader.isReady()) return nullptr;
  ReadCursor cursor{bytes};
  Layout layout;
  if (!readLayout(reader.png(), reader.info(), &cursor, &layout)) return nullptr;
  if (!isAllowedImageSize(layout.width, layout.height)) return nullptr;
  if (layout.channels != Image::kBytesPerPixel || layout.bitDepth != kBitsPerComponent ||
      layout.rowBytes != std::size_t{layout.width} * Image::kBytesPerPixel) {
    return nullptr;
  }

  Bytes rgba;
  std::vector<png_bytep> rows;
  try {
    // Every row is written whole below.
    rgba = PixelBufferPool::shared().take(layout.rowBytes * layout.height);
    rows = rowPointers(rgba.data(), layout.rowBytes, layout.height);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  if (!readRows(reader.png(), reader.info(), rows.data())) return nullptr;
  return Image::fromRGBA(layout.width, layout.height, scale, std::move(rgba));
}

Bytes encodeRGBAAsPNG(std::uint32_t pixelWidth, std::uint32_t pixelHeight, std::span<const std::uint8_t> rgba) {
  const std::size_t rowBytes = std::size_t{pixelWidth} * Image::kBytesPerPixel;
  if (!isAllowedImageSize(pixelWidth, pixelHeight) || rgba.size() != rowBytes * pixelHeight) return {};
  PNGWriter writer;
  if (!writer.isReady()) return {};

  Bytes out;
  std::vector<png_bytep> rows;
  try {
    // libpng only reads the rows it is given to write.
    rows = rowPointers(const_cast<png_bytep>(rgba.data()), rowBytes, pixelHeight);
  } catch (const std::bad_alloc&) {
    return {};
  }
  if (!writeRows(writer.png(), writer.info(), &out, pixelWidth, pixelHeight, rows.data())) return {};
  return out;
}

}  // namespace plexora::platform
