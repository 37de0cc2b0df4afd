// Writing JPEGs. As for reading (ImageJPEG.cpp), libjpeg's error exit
// longjmps to the last setjmp, armed in the one stage function that holds
// no object with a destructor; the compressor and the output buffer live in
// encodeRGBAAsJPEG, which frees them whatever the stage answered.
#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstdlib>

#include "platform/ui/ImageJPEG.h"

// Last: it uses FILE and size_t without including their headers.
#include <jpeglib.h>

namespace plexora::platform {
namespace {

struct EncoderErrorJump {
  // First, so the manager's address is the whole record's.
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

[[noreturn]] void jumpOut(j_common_ptr info) {
  std::longjmp(reinterpret_cast<EncoderErrorJump*>(info->err)->jump, 1);
}

void stayQuietWhileEncoding(j_common_ptr) {}

constexpr int kHighestQuality = 100;

// Stage: the whole image into the memory destination.
bool writeImage(j_compress_ptr info, EncoderErrorJump* errors, std::uint32_t width, std::uint32_t height,
                const std::uint8_t* rgba, int quality, unsigned char** output, unsigned long* outputSize) {
  if (setjmp(errors->jump)) return false;
  jpeg_create_compress(info);
  jpeg_mem_dest(info, output, outputSize);
  info->image_width = width;
  info->image_height = height;
  info->input_components = static_cast<int>(Image::kBytesPerPixel);
  info->in_color_space = JCS_EXT_RGBA;
  jpeg_set_defaults(info);
  jpeg_set_quality(info, quality, TRUE);
  jpeg_start_compress(info, TRUE);
  const std::size_t rowBytes = std::size_t{width} * Image::kBytesPerPixel;
  while (info->next_scanline < info->image_height) {
    // libjpeg does not write through its row pointers.
    JSAMPROW row = const_cast<std::uint8_t*>(rgba + std::size_t{info->next_scanline} * rowBytes);
    jpeg_write_scanlines(info, &row, 1);
  }
  jpeg_finish_compress(info);
  return true;
}

}  // namespace

Bytes encodeRGBAAsJPEG(std::uint32_t pixelWidth, std::uint32_t pixelHeight, std::span<const std::uint8_t> rgba,
                       double quality) {
  if (pixelWidth == 0 || pixelHeight == 0 ||
      rgba.size() != std::size_t{pixelWidth} * pixelHeight * Image::kBytesPerPixel) {
    return {};
  }
  const double clamped = std::isfinite(quality) ? std::clamp(quality, 0.0, 1.0) : 0.0;
  jpeg_compress_struct info{};
  EncoderErrorJump errors{};
  info.err = jpeg_std_error(&errors.manager);
  errors.manager.error_exit = jumpOut;
  errors.manager.output_message = stayQuietWhileEncoding;
  unsigned char* output = nullptr;
  unsigned long outputSize = 0;
  const bool written = writeImage(&info, &errors, pixelWidth, pixelHeight, rgba.data(),
                                  static_cast<int>(std::lround(clamped * kHighestQuality)), &output, &outputSize);
  jpeg_destroy_compress(&info);
  Bytes bytes;
  if (written && output != nullptr) bytes.assign(output, output + outputSize);
  std::free(output);
  return bytes;
}

}  // namespace plexora::platform
