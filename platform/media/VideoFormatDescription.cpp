#include "platform/media/VideoFormatDescription.h"

#include <cmath>

namespace plexora::platform {

namespace {

constexpr uint8_t kNalTypePps = 8;

}  // namespace

int32_t VideoFormatDescription::createFromH264ParameterSets(std::span<const std::span<const uint8_t>> parameterSets,
                                                            int32_t nalUnitHeaderLength,
                                                            std::optional<VideoFormatDescription>& out) {
  if (parameterSets.size() < 2) return kVideoFormatDescriptionInvalidParameter;
  if (nalUnitHeaderLength != 1 && nalUnitHeaderLength != 2 && nalUnitHeaderLength != 4) {
    return kVideoFormatDescriptionInvalidParameter;
  }
  for (const auto& set : parameterSets) {
    if (set.empty()) return kVideoFormatDescriptionInvalidParameter;
  }
  auto sps = parseH264SequenceParameterSet(parameterSets[0]);
  if (!sps) return kVideoFormatDescriptionInvalidParameterSet;
  for (size_t i = 1; i < parameterSets.size(); ++i) {
    if ((parameterSets[i][0] & 0x1F) != kNalTypePps) return kVideoFormatDescriptionInvalidParameterSet;
  }

  VideoFormatDescription description;
  for (const auto& set : parameterSets) description.parameterSets_.emplace_back(set.begin(), set.end());
  description.nalUnitHeaderLength_ = nalUnitHeaderLength;
  description.sps_ = *sps;
  out = std::move(description);
  return kVideoFormatDescriptionOK;
}

VideoDimensions VideoFormatDescription::dimensions() const {
  return {static_cast<int32_t>(sps_.croppedWidth()), static_cast<int32_t>(sps_.croppedHeight())};
}

VideoDimensions VideoFormatDescription::presentationDimensions(bool usePixelAspectRatio, bool useCleanAperture) const {
  const uint32_t width = useCleanAperture ? sps_.croppedWidth() : sps_.codedWidth;
  const uint32_t height = useCleanAperture ? sps_.croppedHeight() : sps_.codedHeight;
  double shownWidth = width;
  if (usePixelAspectRatio) {
    shownWidth = std::round(static_cast<double>(width) * sps_.sampleAspectWidth / sps_.sampleAspectHeight);
  }
  return {static_cast<int32_t>(shownWidth), static_cast<int32_t>(height)};
}

}  // namespace plexora::platform
