#include "util/qnv/render/QNVPlayerLayerPolicies.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <string>

namespace plexora {

namespace {

// What GL_RENDERER of Mesa's software drivers holds, in lower case
// ("llvmpipe (LLVM 15.0.6, 256 bits)", "softpipe", "Software Rasterizer").
constexpr std::array<std::string_view, 4> kSoftwareRasterizers = {"llvmpipe", "softpipe", "swrast",
                                                                  "software rasterizer"};

}  // namespace

QNVDecoderKind qnvDecoderKindFor(bool vp9Stream, bool systemDecoderAvailable) {
  if (vp9Stream) return QNVDecoderKind::kVP9;
  return systemDecoderAvailable ? QNVDecoderKind::kSystem : QNVDecoderKind::kSoftware;
}

platform::Size qnvDecodeSize(platform::Size frame, bool optimizeMemory, platform::Rect layerBounds,
                             double contentsScale) {
  double width = frame.width;
  double height = frame.height;
  if (!optimizeMemory) return {width, height};
  const double pixelWidth = layerBounds.size.width * contentsScale;
  const double pixelHeight = layerBounds.size.height * contentsScale;
  if (pixelWidth > 0 && pixelHeight > 0 && height > 0) {
    if (width / height > layerBounds.size.width / layerBounds.size.height && height > pixelHeight) {
      width = std::ceil(pixelHeight / height * width);
      height = pixelHeight;
    } else if (width > pixelWidth) {
      height = std::ceil(pixelWidth / width * height);
      width = pixelWidth;
    }
  }
  return {width, height};
}

const QNVColorConversion* qnvColorConversionOf(const platform::PixelBuffer& picture) {
  const platform::Value* matrix = picture.attachments().find(platform::kPixelBufferYCbCrMatrixKey);
  const platform::Value* fullRange = picture.attachments().find(platform::kPixelBufferYCbCrFullRangeKey);
  const bool is601 = matrix != nullptr && matrix->isString() &&
                     matrix->asString() == platform::kPixelBufferYCbCrMatrixITU_R_601_4;
  if (fullRange != nullptr && fullRange->isBool() && fullRange->asBool()) {
    return is601 ? &kQNVColorConversion601FullRange : &kQNVColorConversion709FullRange;
  }
  return is601 ? &kQNVColorConversion601 : &kQNVColorConversion709;
}

bool qnvNeedsMipmaps(platform::Size picture, platform::Size drawn) {
  if (!(drawn.width > 0) || !(drawn.height > 0)) return false;
  return drawn.width * 2 < picture.width || drawn.height * 2 < picture.height;
}

bool qnvIsSoftwareRasterizer(std::string_view glRenderer) {
  std::string lower(glRenderer);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return std::any_of(kSoftwareRasterizers.begin(), kSoftwareRasterizers.end(),
                     [&](std::string_view name) { return lower.find(name) != std::string::npos; });
}

QNVDrawingPath qnvDrawingPathFor(QNVDrawingChoice choice, std::string_view glRenderer, bool defaultRenderer,
                                 double rotation) {
  if (!defaultRenderer || rotation != 0.0) return QNVDrawingPath::kGL;
  switch (choice) {
    case QNVDrawingChoice::kGL:
      return QNVDrawingPath::kGL;
    case QNVDrawingChoice::kCPU:
      return QNVDrawingPath::kCPU;
    case QNVDrawingChoice::kAutomatic:
      break;
  }
  return qnvIsSoftwareRasterizer(glRenderer) ? QNVDrawingPath::kCPU : QNVDrawingPath::kGL;
}

}  // namespace plexora
