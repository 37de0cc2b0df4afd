#include "util/qnv/render/QNVPlayerLayerPolicies.h"

#include <gtest/gtest.h>

#include <optional>

namespace plexora {
namespace {

TEST(QNVPlayerLayerPoliciesTest, DecoderKind) {
  struct Case {
    bool vp9;
    bool systemAvailable;
    QNVDecoderKind expected;
  };
  const Case cases[] = {
      {true, true, QNVDecoderKind::kVP9},
      {true, false, QNVDecoderKind::kVP9},
      {false, true, QNVDecoderKind::kSystem},
      {false, false, QNVDecoderKind::kSoftware},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(qnvDecoderKindFor(c.vp9, c.systemAvailable), c.expected) << c.vp9 << c.systemAvailable;
  }
}

TEST(QNVPlayerLayerPoliciesTest, DecodeSizeOnlyShrinksAndKeepsTheAspect) {
  struct Case {
    const char* name;
    platform::Size frame;
    bool optimizeMemory;
    platform::Size bounds;
    double scale;
    platform::Size expected;
  };
  const Case cases[] = {
      {"memory not optimised", {1280, 720}, false, {320, 180}, 2, {1280, 720}},
      {"wider than the slot: fitted to its height", {1280, 720}, true, {320, 240}, 1, {427, 240}},
      {"narrower than the slot: fitted to its width", {720, 1280}, true, {320, 180}, 1, {320, 569}},
      {"same aspect: fitted to the width", {1280, 720}, true, {320, 180}, 2, {640, 360}},
      {"smaller than the slot: kept", {160, 90}, true, {320, 180}, 2, {160, 90}},
      {"wider but not taller than the slot: fitted to its width", {400, 100}, true, {200, 200}, 1, {200, 50}},
      {"empty bounds: kept", {1280, 720}, true, {0, 0}, 2, {1280, 720}},
      {"zero scale: kept", {1280, 720}, true, {320, 180}, 0, {1280, 720}},
      {"empty frame: kept", {0, 0}, true, {320, 180}, 1, {0, 0}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(qnvDecodeSize(c.frame, c.optimizeMemory, platform::Rect({0, 0}, c.bounds), c.scale), c.expected)
        << c.name;
  }
}

TEST(QNVPlayerLayerPoliciesTest, ColorConversionFollowsTheDecodersAttachments) {
  struct Case {
    const char* name;
    std::optional<platform::Value> matrix;
    std::optional<platform::Value> fullRange;
    const QNVColorConversion* expected;
  };
  const Case cases[] = {
      {"nothing said: BT.709 video range", std::nullopt, std::nullopt, &kQNVColorConversion709},
      {"BT.601", platform::Value(platform::kPixelBufferYCbCrMatrixITU_R_601_4), std::nullopt,
       &kQNVColorConversion601},
      {"BT.709", platform::Value(platform::kPixelBufferYCbCrMatrixITU_R_709_2), platform::Value(false),
       &kQNVColorConversion709},
      {"BT.601 full range", platform::Value(platform::kPixelBufferYCbCrMatrixITU_R_601_4), platform::Value(true),
       &kQNVColorConversion601FullRange},
      {"BT.709 full range", platform::Value(platform::kPixelBufferYCbCrMatrixITU_R_709_2), platform::Value(true),
       &kQNVColorConversion709FullRange},
      {"a matrix of the wrong type: BT.709", platform::Value(601), std::nullopt, &kQNVColorConversion709},
      {"a range of the wrong type: video range", std::nullopt, platform::Value("true"), &kQNVColorConversion709},
  };
  for (const Case& c : cases) {
    auto picture = platform::PixelBuffer::createNV12(2, 2);
    if (c.matrix) picture->setAttachment(platform::kPixelBufferYCbCrMatrixKey, *c.matrix);
    if (c.fullRange) picture->setAttachment(platform::kPixelBufferYCbCrFullRangeKey, *c.fullRange);
    EXPECT_EQ(qnvColorConversionOf(*picture), c.expected) << c.name;
  }
}

TEST(QNVPlayerLayerPoliciesTest, MipmapsOnlyBelowHalfTheSize) {
  struct Case {
    platform::Size picture;
    platform::Size drawn;
    bool expected;
  };
  const Case cases[] = {
      {{1280, 720}, {1280, 720}, false},  // its own size
      {{1280, 720}, {2560, 1440}, false}, // enlarged
      {{1280, 720}, {640, 360}, false},   // exactly half
      {{1280, 720}, {639, 360}, true},    // just below half across
      {{1280, 720}, {640, 359}, true},    // just below half down
      {{1280, 720}, {320, 180}, true},    // an ad slot a quarter of the size
      {{640, 360}, {320, 180}, false},    // the chroma plane of the same frame
      {{1280, 720}, {0, 0}, false},       // not drawn
  };
  for (const Case& c : cases) {
    EXPECT_EQ(qnvNeedsMipmaps(c.picture, c.drawn), c.expected) << c.picture << " drawn " << c.drawn;
  }
}

TEST(QNVPlayerLayerPoliciesTest, SoftwareRasterizers) {
  struct Case {
    const char* renderer;
    bool expected;
  };
  const Case cases[] = {
      {"llvmpipe (LLVM 15.0.6, 256 bits)", true},
      {"softpipe", true},
      {"Software Rasterizer", true},
      {"Mesa swrast", true},
      {"Mesa Intel(R) UHD Graphics 620 (KBL GT2)", false},
      {"AMD Radeon RX 6600 (navi23, LLVM 15.0.6, DRM 3.49, 6.1.0)", false},
      {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(qnvIsSoftwareRasterizer(c.renderer), c.expected) << c.renderer;
}

TEST(QNVPlayerLayerPoliciesTest, DrawingPath) {
  constexpr const char* kSoftware = "llvmpipe (LLVM 15.0.6, 256 bits)";
  constexpr const char* kGpu = "Mesa Intel(R) UHD Graphics 620 (KBL GT2)";
  struct Case {
    const char* name;
    QNVDrawingChoice choice;
    const char* renderer;
    bool defaultRenderer;
    double rotation;
    QNVDrawingPath expected;
  };
  const Case cases[] = {
      {"software GL: the CPU", QNVDrawingChoice::kAutomatic, kSoftware, true, 0, QNVDrawingPath::kCPU},
      {"a GPU: GL", QNVDrawingChoice::kAutomatic, kGpu, true, 0, QNVDrawingPath::kGL},
      {"no renderer name yet: GL", QNVDrawingChoice::kAutomatic, "", true, 0, QNVDrawingPath::kGL},
      {"GL forced on software GL", QNVDrawingChoice::kGL, kSoftware, true, 0, QNVDrawingPath::kGL},
      {"the CPU forced on a GPU", QNVDrawingChoice::kCPU, kGpu, true, 0, QNVDrawingPath::kCPU},
      {"a custom renderer: GL", QNVDrawingChoice::kAutomatic, kSoftware, false, 0, QNVDrawingPath::kGL},
      {"a custom renderer with the CPU forced: GL", QNVDrawingChoice::kCPU, kGpu, false, 0, QNVDrawingPath::kGL},
      {"rotated: GL", QNVDrawingChoice::kAutomatic, kSoftware, true, 1.5707963, QNVDrawingPath::kGL},
      {"rotated with the CPU forced: GL", QNVDrawingChoice::kCPU, kSoftware, true, -3.14159, QNVDrawingPath::kGL},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(qnvDrawingPathFor(c.choice, c.renderer, c.defaultRenderer, c.rotation), c.expected) << c.name;
  }
}

}  // namespace
}  // namespace plexora
