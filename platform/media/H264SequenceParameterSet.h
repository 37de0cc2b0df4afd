// The fields of an H.264 sequence parameter set (ITU-T H.264 7.3.2.1) that
// decide how large a decoded picture is and how it is shown: its coded size in
// macroblocks, the cropping rectangle, the sample aspect ratio and the colour
// description of the VUI.
//
// Thread safety: a pure function; call from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace plexora::platform {

struct H264SequenceParameterSet {
  uint8_t profileIdc = 0;
  uint8_t constraintFlags = 0;
  uint8_t levelIdc = 0;
  uint32_t chromaFormatIdc = 1;
  // Luma samples of the decoded frame, before cropping.
  uint32_t codedWidth = 0;
  uint32_t codedHeight = 0;
  // Luma samples removed on each side.
  uint32_t cropLeft = 0;
  uint32_t cropRight = 0;
  uint32_t cropTop = 0;
  uint32_t cropBottom = 0;
  // Width : height of one sample; 1:1 when the stream does not say.
  uint32_t sampleAspectWidth = 1;
  uint32_t sampleAspectHeight = 1;
  bool fullRange = false;
  // 2 (unspecified) unless the VUI carries a colour description.
  uint8_t colourPrimaries = 2;
  uint8_t transferCharacteristics = 2;
  uint8_t matrixCoefficients = 2;

  uint32_t croppedWidth() const { return codedWidth - cropLeft - cropRight; }
  uint32_t croppedHeight() const { return codedHeight - cropTop - cropBottom; }
};

// Parses one SPS NAL unit (header byte included, emulation-prevention bytes
// still in place). None when it is not an SPS, is cut short, or describes a
// picture that cannot exist (cropping beyond the picture, sizes beyond 16384
// macroblocks a side, values out of their ranges).
std::optional<H264SequenceParameterSet> parseH264SequenceParameterSet(std::span<const uint8_t> nalUnit);

}  // namespace plexora::platform
