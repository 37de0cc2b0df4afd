#include "platform/media/H264SequenceParameterSet.h"

#include <array>
#include <vector>

namespace plexora::platform {

namespace {

constexpr uint8_t kNalTypeSps = 7;
constexpr uint8_t kAspectRatioExtendedSar = 255;
constexpr uint32_t kMaxMacroblocksPerSide = 16384 / 16;
constexpr uint32_t kMaxRefFramesInPocCycle = 255;

// Sample aspect ratios of aspect_ratio_idc 1 to 16 (Table E-1).
constexpr std::array<std::array<uint16_t, 2>, 16> kSampleAspectRatios = {{
    {1, 1}, {12, 11}, {10, 11}, {16, 11}, {40, 33}, {24, 11}, {20, 11}, {32, 11},
    {80, 33}, {18, 11}, {15, 11}, {64, 33}, {160, 99}, {4, 3}, {3, 2}, {2, 1},
}};

// Profiles whose SPS carries the chroma format, bit depths and scaling lists.
bool hasChromaInfo(uint8_t profileIdc) {
  switch (profileIdc) {
    case 100: case 110: case 122: case 244: case 44: case 83:
    case 86: case 118: case 128: case 138: case 139: case 134: case 135:
      return true;
    default:
      return false;
  }
}

// Reads the raw byte sequence payload bit by bit; every read answers false
// once the bits run out.
class BitReader {
 public:
  explicit BitReader(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}

  bool bits(unsigned count, uint32_t& out) {
    out = 0;
    for (unsigned i = 0; i < count; ++i) {
      if (position_ >= bytes_.size() * 8) return false;
      const uint8_t bit = (bytes_[position_ / 8] >> (7 - position_ % 8)) & 1;
      out = (out << 1) | bit;
      ++position_;
    }
    return true;
  }

  bool flag(bool& out) {
    uint32_t bit = 0;
    if (!bits(1, bit)) return false;
    out = bit != 0;
    return true;
  }

  // Unsigned Exp-Golomb code; values beyond 32 bits are refused.
  bool ue(uint32_t& out) {
    unsigned leadingZeros = 0;
    uint32_t bit = 0;
    while (true) {
      if (!bits(1, bit)) return false;
      if (bit != 0) break;
      if (++leadingZeros > 31) return false;
    }
    uint32_t suffix = 0;
    if (!bits(leadingZeros, suffix)) return false;
    const uint64_t value = ((uint64_t{1} << leadingZeros) - 1) + suffix;
    if (value > UINT32_MAX) return false;
    out = static_cast<uint32_t>(value);
    return true;
  }

  bool se(int32_t& out) {
    uint32_t code = 0;
    if (!ue(code)) return false;
    const int64_t magnitude = (int64_t{code} + 1) / 2;
    out = static_cast<int32_t>((code & 1) != 0 ? magnitude : -magnitude);
    return true;
  }

 private:
  std::vector<uint8_t> bytes_;
  size_t position_ = 0;
};

#define SPS_CHECK(condition) \
  do {                       \
    if (!(condition)) return std::nullopt; \
  } while (0)

// The payload without the header byte and without the 0x03 that follows every
// pair of zero bytes inside a NAL unit.
std::vector<uint8_t> rawPayload(std::span<const uint8_t> nalUnit) {
  std::vector<uint8_t> payload;
  payload.reserve(nalUnit.size());
  unsigned zeros = 0;
  for (size_t i = 1; i < nalUnit.size(); ++i) {
    const uint8_t byte = nalUnit[i];
    if (zeros >= 2 && byte == 0x03) {
      zeros = 0;
      continue;
    }
    zeros = byte == 0 ? zeros + 1 : 0;
    payload.push_back(byte);
  }
  return payload;
}

bool skipScalingList(BitReader& reader, unsigned size) {
  int32_t lastScale = 8;
  int32_t nextScale = 8;
  for (unsigned j = 0; j < size; ++j) {
    if (nextScale != 0) {
      int32_t delta = 0;
      if (!reader.se(delta) || delta < -128 || delta > 127) return false;
      nextScale = (lastScale + delta + 256) % 256;
    }
    lastScale = nextScale == 0 ? lastScale : nextScale;
  }
  return true;
}

}  // namespace

std::optional<H264SequenceParameterSet> parseH264SequenceParameterSet(std::span<const uint8_t> nalUnit) {
  SPS_CHECK(!nalUnit.empty() && (nalUnit[0] & 0x1F) == kNalTypeSps);
  BitReader reader(rawPayload(nalUnit));
  H264SequenceParameterSet sps;
  uint32_t value = 0;
  bool set = false;

  SPS_CHECK(reader.bits(8, value));
  sps.profileIdc = static_cast<uint8_t>(value);
  SPS_CHECK(reader.bits(8, value));
  sps.constraintFlags = static_cast<uint8_t>(value);
  SPS_CHECK(reader.bits(8, value));
  sps.levelIdc = static_cast<uint8_t>(value);
  SPS_CHECK(reader.ue(value) && value <= 31);  // seq_parameter_set_id

  bool separateColourPlane = false;
  if (hasChromaInfo(sps.profileIdc)) {
    SPS_CHECK(reader.ue(sps.chromaFormatIdc) && sps.chromaFormatIdc <= 3);
    if (sps.chromaFormatIdc == 3) SPS_CHECK(reader.flag(separateColourPlane));
    SPS_CHECK(reader.ue(value) && value <= 6);  // bit_depth_luma_minus8
    SPS_CHECK(reader.ue(value) && value <= 6);  // bit_depth_chroma_minus8
    SPS_CHECK(reader.flag(set));                // qpprime_y_zero_transform_bypass_flag
    SPS_CHECK(reader.flag(set));                // seq_scaling_matrix_present_flag
    if (set) {
      const unsigned lists = sps.chromaFormatIdc != 3 ? 8 : 12;
      for (unsigned i = 0; i < lists; ++i) {
        bool present = false;
        SPS_CHECK(reader.flag(present));
        if (present) SPS_CHECK(skipScalingList(reader, i < 6 ? 16 : 64));
      }
    }
  }

  SPS_CHECK(reader.ue(value) && value <= 12);  // log2_max_frame_num_minus4
  uint32_t pocType = 0;
  SPS_CHECK(reader.ue(pocType) && pocType <= 2);
  if (pocType == 0) {
    SPS_CHECK(reader.ue(value) && value <= 12);  // log2_max_pic_order_cnt_lsb_minus4
  } else if (pocType == 1) {
    int32_t offset = 0;
    SPS_CHECK(reader.flag(set));  // delta_pic_order_always_zero_flag
    SPS_CHECK(reader.se(offset));  // offset_for_non_ref_pic
    SPS_CHECK(reader.se(offset));  // offset_for_top_to_bottom_field
    uint32_t cycle = 0;
    SPS_CHECK(reader.ue(cycle) && cycle <= kMaxRefFramesInPocCycle);
    for (uint32_t i = 0; i < cycle; ++i) SPS_CHECK(reader.se(offset));
  }
  SPS_CHECK(reader.ue(value));   // max_num_ref_frames
  SPS_CHECK(reader.flag(set));   // gaps_in_frame_num_value_allowed_flag

  uint32_t widthInMbsMinus1 = 0;
  uint32_t heightInMapUnitsMinus1 = 0;
  SPS_CHECK(reader.ue(widthInMbsMinus1) && widthInMbsMinus1 < kMaxMacroblocksPerSide);
  SPS_CHECK(reader.ue(heightInMapUnitsMinus1) && heightInMapUnitsMinus1 < kMaxMacroblocksPerSide);
  bool frameMbsOnly = false;
  SPS_CHECK(reader.flag(frameMbsOnly));
  if (!frameMbsOnly) SPS_CHECK(reader.flag(set));  // mb_adaptive_frame_field_flag
  SPS_CHECK(reader.flag(set));                     // direct_8x8_inference_flag

  const uint32_t fieldFactor = frameMbsOnly ? 1 : 2;
  sps.codedWidth = (widthInMbsMinus1 + 1) * 16;
  sps.codedHeight = fieldFactor * (heightInMapUnitsMinus1 + 1) * 16;

  bool cropping = false;
  SPS_CHECK(reader.flag(cropping));
  if (cropping) {
    // Crop offsets count chroma samples (Table 6-1), or luma samples when
    // there is no separate chroma plane.
    const bool monochromeLike = sps.chromaFormatIdc == 0 || separateColourPlane;
    const uint32_t unitX = monochromeLike ? 1 : (sps.chromaFormatIdc == 3 ? 1 : 2);
    const uint32_t unitY = (monochromeLike ? 1 : (sps.chromaFormatIdc == 1 ? 2 : 1)) * fieldFactor;
    uint32_t left = 0, right = 0, top = 0, bottom = 0;
    SPS_CHECK(reader.ue(left) && reader.ue(right) && reader.ue(top) && reader.ue(bottom));
    const uint64_t cropX = (uint64_t{left} + right) * unitX;
    const uint64_t cropY = (uint64_t{top} + bottom) * unitY;
    SPS_CHECK(cropX < sps.codedWidth && cropY < sps.codedHeight);
    sps.cropLeft = left * unitX;
    sps.cropRight = right * unitX;
    sps.cropTop = top * unitY;
    sps.cropBottom = bottom * unitY;
  }

  bool vui = false;
  // A stream cut right after the cropping still describes its picture.
  if (!reader.flag(vui) || !vui) return sps;
  bool aspectInfo = false;
  SPS_CHECK(reader.flag(aspectInfo));
  if (aspectInfo) {
    SPS_CHECK(reader.bits(8, value));
    if (value == kAspectRatioExtendedSar) {
      uint32_t width = 0;
      uint32_t height = 0;
      SPS_CHECK(reader.bits(16, width) && reader.bits(16, height));
      if (width != 0 && height != 0) {
        sps.sampleAspectWidth = width;
        sps.sampleAspectHeight = height;
      }
    } else if (value >= 1 && value <= kSampleAspectRatios.size()) {
      sps.sampleAspectWidth = kSampleAspectRatios[value - 1][0];
      sps.sampleAspectHeight = kSampleAspectRatios[value - 1][1];
    }
  }
  bool overscan = false;
  SPS_CHECK(reader.flag(overscan));
  if (overscan) SPS_CHECK(reader.flag(set));  // overscan_appropriate_flag
  bool signalType = false;
  SPS_CHECK(reader.flag(signalType));
  if (signalType) {
    SPS_CHECK(reader.bits(3, value));  // video_format
    SPS_CHECK(reader.flag(sps.fullRange));
    bool colour = false;
    SPS_CHECK(reader.flag(colour));
    if (colour) {
      SPS_CHECK(reader.bits(8, value));
      sps.colourPrimaries = static_cast<uint8_t>(value);
      SPS_CHECK(reader.bits(8, value));
      sps.transferCharacteristics = static_cast<uint8_t>(value);
      SPS_CHECK(reader.bits(8, value));
      sps.matrixCoefficients = static_cast<uint8_t>(value);
    }
  }
  return sps;
}

}  // namespace plexora::platform
