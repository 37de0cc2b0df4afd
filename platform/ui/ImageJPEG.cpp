// libjpeg reports errors through its error manager, whose exit must not
// return; ours longjmps to the last setjmp. Each libjpeg call that can fail
// runs inside one of the small "stage" functions below, which arm setjmp
// first and hold no object with a destructor, so a jump never skips one.
// The decompressor and the pixel buffer live in decodeJPEG, which frees
// them whatever the stage answered.
#include "platform/ui/ImageJPEG.h"

#include <algorithm>
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <iterator>
#include <new>
#include <utility>

#include "platform/ui/PixelBufferPool.h"

// Last: it uses FILE and size_t without including their headers.
#include <jpeglib.h>

namespace plexora::platform {
namespace {

constexpr std::uint8_t kJPEGSignature[] = {0xFF, 0xD8, 0xFF};
// Progressive files from real encoders hold about a dozen scans; thousands
// of tiny ones would make a small file cost minutes of decoding.
constexpr int kMaxScanCount = 500;
// Enough for the coefficients of a progressive image at the pixel bound
// (3 components, 2 bytes each); libjpeg fails rather than go beyond it.
constexpr long kMaxDecoderMemory = 512L * 1024 * 1024;

struct ErrorJump {
  // First, so the manager's address is the whole record's.
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

struct Layout {
  JDIMENSION width = 0;
  JDIMENSION height = 0;
  std::size_t rowBytes = 0;
};

[[noreturn]] void jumpToStage(j_common_ptr info) { std::longjmp(reinterpret_cast<ErrorJump*>(info->err)->jump, 1); }

// Level -1 is a warning about damaged data; the others are trace lines.
void failOnWarning(j_common_ptr info, int level) {
  if (level < 0) jumpToStage(info);
}

void stayQuiet(j_common_ptr) {}

void limitScans(j_common_ptr info) {
  if (reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > kMaxScanCount) jumpToStage(info);
}

bool isSupportedColorSpace(J_COLOR_SPACE space) {
  return space == JCS_GRAYSCALE || space == JCS_YCbCr || space == JCS_RGB;
}

// Stage: the header, and the output layout as RGBA.
bool readLayout(j_decompress_ptr info, ErrorJump* errors, jpeg_progress_mgr* progress, ByteView bytes, Layout* layout) {
  if (setjmp(errors->jump)) return false;
  jpeg_create_decompress(info);
  info->progress = progress;
  info->mem->max_memory_to_use = kMaxDecoderMemory;
  jpeg_mem_src(info, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(info, TRUE);
  if (!isSupportedColorSpace(info->jpeg_color_space)) return false;
  info->out_color_space = JCS_EXT_RGBA;
  jpeg_calc_output_dimensions(info);
  if (info->output_components != static_cast<int>(Image::kBytesPerPixel)) return false;
  layout->width = info->output_width;
  layout->height = info->output_height;
  layout->rowBytes = std::size_t{info->output_width} * Image::kBytesPerPixel;
  return true;
}

// Stage: every row into `pixels`, then the rest of the stream up to its end
// marker.
bool readRows(j_decompress_ptr info, ErrorJump* errors, const Layout* layout, std::uint8_t* pixels) {
  if (setjmp(errors->jump)) return false;
  jpeg_start_decompress(info);
  if (info->output_width != layout->width || info->output_height != layout->height) return false;
  while (info->output_scanline < info->output_height) {
    JSAMPROW row = pixels + std::size_t{info->output_scanline} * layout->rowBytes;
    // A memory source never suspends, so no row read means no progress.
    if (jpeg_read_scanlines(info, &row, 1) != 1) return false;
  }
  jpeg_finish_decompress(info);
  return true;
}

class JPEGDecompressor {
 public:
  JPEGDecompressor() {
    info_.err = jpeg_std_error(&errors_.manager);
    errors_.manager.error_exit = jumpToStage;
    errors_.manager.emit_message = failOnWarning;
    errors_.manager.output_message = stayQuiet;
    progress_.progress_monitor = limitScans;
  }
  // Safe on a structure that was never created: it is zeroed.
  ~JPEGDecompressor() { jpeg_destroy_decompress(&info_); }
  JPEGDecompressor(const JPEGDecompressor&) = delete;
  JPEGDecompressor& operator=(const JPEGDecompressor&) = delete;

  j_decompress_ptr info() { return &info_; }
  ErrorJump* errors() { return &errors_; }
  jpeg_progress_mgr* progress() { return &progress_; }

 private:
  jpeg_decompress_struct info_{};
  ErrorJump errors_{};
  jpeg_progress_mgr progress_{};
};

}  // namespace

bool hasJPEGSignature(ByteView bytes) {
  return bytes.size() >= sizeof kJPEGSignature &&
         std::equal(std::begin(kJPEGSignature), std::end(kJPEGSignature), bytes.begin());
}

std::shared_ptr<Image> decodeJPEG(ByteView bytes, double scale) {
  JPEGDecompressor decompressor;
  Layout layout;
  if (!readLayout(decompressor.info(), decompressor.errors(), decompressor.progress(), bytes, &layout)) {
    return nullptr;
  }
  if (!isAllowedImageSize(layout.width, layout.height)) return nullptr;

  Bytes rgba;
  try {
    // Every byte is written below.
    rgba = PixelBufferPool::shared().take(layout.rowBytes * layout.height);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  if (!readRows(decompressor.info(), decompressor.errors(), &layout, rgba.data())) return nullptr;
  return Image::fromRGBA(layout.width, layout.height, scale, std::move(rgba));
}

}  // namespace plexora::platform
