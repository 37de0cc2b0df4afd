#include "platform/media/H264SequenceParameterSet.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/media/VideoFormatDescription.h"

namespace plexora::platform {
namespace {

// Writes SPS fields bit by bit, then inserts the emulation-prevention bytes
// an encoder would.
class SpsWriter {
 public:
  SpsWriter& bits(uint32_t value, unsigned count) {
    for (unsigned i = count; i-- > 0;) bits_.push_back(((value >> i) & 1) != 0);
    return *this;
  }
  SpsWriter& ue(uint32_t value) {
    const uint64_t coded = uint64_t{value} + 1;
    unsigned length = 0;
    while ((coded >> length) > 1) ++length;
    bits(0, length);
    for (unsigned i = length + 1; i-- > 0;) bits_.push_back(((coded >> i) & 1) != 0);
    return *this;
  }
  SpsWriter& se(int32_t value) { return ue(value > 0 ? 2 * value - 1 : -2 * value); }

  std::vector<uint8_t> nalUnit() const {
    std::vector<uint8_t> payload;
    std::vector<bool> padded = bits_;
    padded.push_back(true);  // rbsp_stop_one_bit
    while (padded.size() % 8 != 0) padded.push_back(false);
    for (size_t i = 0; i < padded.size(); i += 8) {
      uint8_t byte = 0;
      for (size_t j = 0; j < 8; ++j) byte = static_cast<uint8_t>((byte << 1) | (padded[i + j] ? 1 : 0));
      payload.push_back(byte);
    }
    std::vector<uint8_t> nal = {0x67};
    unsigned zeros = 0;
    for (uint8_t byte : payload) {
      if (zeros >= 2 && byte <= 3) {
        nal.push_back(3);
        zeros = 0;
      }
      nal.push_back(byte);
      zeros = byte == 0 ? zeros + 1 : 0;
    }
    return nal;
  }

 private:
  std::vector<bool> bits_;
};

struct SpsFields {
  uint8_t profile = 66;
  uint32_t widthInMbs = 10;
  uint32_t heightInMapUnits = 6;
  bool frameMbsOnly = true;
  bool scalingMatrix = false;
  std::array<uint32_t, 4> crop{};  // left, right, top, bottom in crop units
  int aspectIdc = -1;              // -1: no VUI
  uint16_t sarWidth = 0;
  uint16_t sarHeight = 0;
  int matrix = -1;  // -1: no colour description
};

std::vector<uint8_t> makeSps(const SpsFields& f) {
  SpsWriter w;
  w.bits(f.profile, 8).bits(0, 8).bits(30, 8).ue(0);
  if (f.profile == 100) {
    w.ue(1).ue(0).ue(0).bits(0, 1).bits(f.scalingMatrix ? 1 : 0, 1);
    if (f.scalingMatrix) {
      w.bits(1, 1);  // first 4x4 list present: sixteen deltas, the last ending it
      for (int j = 0; j < 15; ++j) w.se(1);
      w.se(-24);
      for (int i = 1; i < 8; ++i) w.bits(0, 1);
    }
  }
  w.ue(0).ue(0).ue(2);  // log2_max_frame_num, poc type 0, its lsb size
  w.ue(1).bits(0, 1).ue(f.widthInMbs - 1).ue(f.heightInMapUnits - 1).bits(f.frameMbsOnly ? 1 : 0, 1);
  if (!f.frameMbsOnly) w.bits(0, 1);
  w.bits(1, 1);
  const bool cropping = f.crop != std::array<uint32_t, 4>{};
  w.bits(cropping ? 1 : 0, 1);
  if (cropping) w.ue(f.crop[0]).ue(f.crop[1]).ue(f.crop[2]).ue(f.crop[3]);
  w.bits(f.aspectIdc >= 0 ? 1 : 0, 1);
  if (f.aspectIdc >= 0) {
    w.bits(1, 1).bits(static_cast<uint32_t>(f.aspectIdc), 8);
    if (f.aspectIdc == 255) w.bits(f.sarWidth, 16).bits(f.sarHeight, 16);
    w.bits(0, 1);  // overscan
    w.bits(f.matrix >= 0 ? 1 : 0, 1);
    if (f.matrix >= 0) w.bits(5, 3).bits(1, 1).bits(1, 1).bits(1, 8).bits(1, 8).bits(static_cast<uint32_t>(f.matrix), 8);
    w.bits(0, 1);  // chroma location, then nothing further matters
  }
  return w.nalUnit();
}

TEST(H264SequenceParameterSetTest, DimensionsCroppingAndAspect) {
  struct Case {
    const char* name;
    SpsFields fields;
    uint32_t codedWidth, codedHeight, width, height, sarWidth, sarHeight;
  } cases[] = {
      {"plain", {}, 160, 96, 160, 96, 1, 1},
      {"crop 4:2:0 counts pairs", {.crop = {1, 2, 0, 3}}, 160, 96, 154, 90, 1, 1},
      {"fields double the height and the vertical crop unit", {.heightInMapUnits = 3, .frameMbsOnly = false, .crop = {0, 0, 0, 1}}, 160, 96, 160, 92, 1, 1},
      {"high profile with a scaling list", {.profile = 100, .scalingMatrix = true, .crop = {0, 0, 0, 3}}, 160, 96, 160, 90, 1, 1},
      {"table aspect 4:3", {.aspectIdc = 14}, 160, 96, 160, 96, 4, 3},
      {"extended aspect", {.aspectIdc = 255, .sarWidth = 3, .sarHeight = 2}, 160, 96, 160, 96, 3, 2},
  };
  for (const auto& c : cases) {
    const auto sps = parseH264SequenceParameterSet(makeSps(c.fields));
    ASSERT_TRUE(sps.has_value()) << c.name;
    EXPECT_EQ(sps->codedWidth, c.codedWidth) << c.name;
    EXPECT_EQ(sps->codedHeight, c.codedHeight) << c.name;
    EXPECT_EQ(sps->croppedWidth(), c.width) << c.name;
    EXPECT_EQ(sps->croppedHeight(), c.height) << c.name;
    EXPECT_EQ(sps->sampleAspectWidth, c.sarWidth) << c.name;
    EXPECT_EQ(sps->sampleAspectHeight, c.sarHeight) << c.name;
  }
}

TEST(H264SequenceParameterSetTest, ColourDescription) {
  const auto sps = parseH264SequenceParameterSet(makeSps({.aspectIdc = 1, .matrix = 1}));
  ASSERT_TRUE(sps.has_value());
  EXPECT_TRUE(sps->fullRange);
  EXPECT_EQ(sps->matrixCoefficients, 1);
  EXPECT_EQ(parseH264SequenceParameterSet(makeSps({}))->matrixCoefficients, 2) << "unspecified without a description";
}

TEST(H264SequenceParameterSetTest, RefusesWhatCannotBeAPicture) {
  std::vector<uint8_t> truncated = makeSps({});
  truncated.resize(4);
  std::vector<uint8_t> notSps = makeSps({});
  notSps[0] = 0x68;
  const std::vector<uint8_t> cases[] = {
      {},
      truncated,
      notSps,
      makeSps({.crop = {40, 40, 0, 0}}),  // 160 luma columns cropped away
      makeSps({.widthInMbs = 5000}),
  };
  for (size_t i = 0; i < std::size(cases); ++i) EXPECT_FALSE(parseH264SequenceParameterSet(cases[i]).has_value()) << i;
}

TEST(VideoFormatDescriptionTest, PresentationDimensionsApplyAspectAndCleanAperture) {
  const auto sps = makeSps({.crop = {0, 0, 0, 3}, .aspectIdc = 14});
  const std::vector<uint8_t> pps = {0x68, 0xCE, 0x38, 0x80};
  const std::span<const uint8_t> sets[] = {sps, pps};
  std::optional<VideoFormatDescription> format;
  ASSERT_EQ(VideoFormatDescription::createFromH264ParameterSets(sets, 4, format), kVideoFormatDescriptionOK);
  EXPECT_EQ(format->dimensions(), (VideoDimensions{160, 90}));
  EXPECT_EQ(format->presentationDimensions(true, true), (VideoDimensions{213, 90}));
  EXPECT_EQ(format->presentationDimensions(false, false), (VideoDimensions{160, 96}));
  EXPECT_EQ(format->parameterSets().size(), 2U);

  std::optional<VideoFormatDescription> refused;
  EXPECT_EQ(VideoFormatDescription::createFromH264ParameterSets(std::span(sets, 1), 4, refused),
            kVideoFormatDescriptionInvalidParameter);
  EXPECT_EQ(VideoFormatDescription::createFromH264ParameterSets(sets, 3, refused),
            kVideoFormatDescriptionInvalidParameter);
  const std::span<const uint8_t> swapped[] = {pps, sps};
  EXPECT_EQ(VideoFormatDescription::createFromH264ParameterSets(swapped, 4, refused),
            kVideoFormatDescriptionInvalidParameterSet);
  EXPECT_FALSE(refused.has_value());
}

}  // namespace
}  // namespace plexora::platform
