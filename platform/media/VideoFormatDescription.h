// The description a video decoder is made from: the codec, the parameter
// sets in decoder order, the NAL unit length size of the samples, and the
// picture's sizes as its sequence parameter set gives them.
//
// Dimensions: `dimensions` is the cropped size that the decoder outputs;
// `presentationDimensions` optionally stretches the width by the sample aspect
// ratio (rounded to the nearest sample) and optionally shows the whole coded
// picture instead of the cropped one (the clean aperture left out).
//
// Thread safety: an immutable value once made; share it freely.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/media/FourCharCode.h"
#include "platform/media/H264SequenceParameterSet.h"

namespace plexora::platform {

inline constexpr FourCharCode kVideoCodecH264 = fourCharCode("avc1");

// Statuses of createFromH264ParameterSets.
inline constexpr int32_t kVideoFormatDescriptionOK = 0;
// Fewer than two parameter sets, an empty one, or a header length other than
// 1, 2 or 4.
inline constexpr int32_t kVideoFormatDescriptionInvalidParameter = -1;
// The first set is not a readable SPS or the second not a PPS.
inline constexpr int32_t kVideoFormatDescriptionInvalidParameterSet = -2;

struct VideoDimensions {
  int32_t width = 0;
  int32_t height = 0;
  bool operator==(const VideoDimensions&) const = default;
};

class VideoFormatDescription {
 public:
  // From an SPS, then one or more PPS (each a NAL unit without start code or
  // length prefix), and the byte count of the length before each NAL unit in
  // the samples. Fills `out` only on kVideoFormatDescriptionOK.
  static int32_t createFromH264ParameterSets(std::span<const std::span<const uint8_t>> parameterSets,
                                             int32_t nalUnitHeaderLength,
                                             std::optional<VideoFormatDescription>& out);

  FourCharCode codecType() const { return kVideoCodecH264; }
  const std::vector<std::vector<uint8_t>>& parameterSets() const { return parameterSets_; }
  int32_t nalUnitHeaderLength() const { return nalUnitHeaderLength_; }
  const H264SequenceParameterSet& sequenceParameterSet() const { return sps_; }
  VideoDimensions dimensions() const;
  VideoDimensions presentationDimensions(bool usePixelAspectRatio, bool useCleanAperture) const;

 private:
  VideoFormatDescription() = default;

  std::vector<std::vector<uint8_t>> parameterSets_;
  int32_t nalUnitHeaderLength_ = 4;
  H264SequenceParameterSet sps_;
};

}  // namespace plexora::platform
