// What a track's sample description box (stsd) tells the decoders: the H.264
// parameter sets, or the AAC or Opus configuration.
//
// Thread safety: plain values.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "platform/media/FourCharCode.h"

namespace plexora {

struct QNVMP4SampleDescription {
  // The coding name of the entry that was read ('avc1', 'mp4a', 'Opus'), 0
  // when the box held none of them.
  platform::FourCharCode codingName = 0;

  // H.264 ('avcC').
  uint32_t naluLengthSize = 0;
  std::vector<std::vector<uint8_t>> sequenceParameterSets;
  std::vector<std::vector<uint8_t>> pictureParameterSets;

  // Audio, shared by AAC ('esds') and Opus ('dOps'); for Opus the channel
  // configuration is the channel count.
  uint32_t objectType = 0;
  uint32_t channelConfiguration = 0;
  uint32_t samplingFrequencyIndex = 0;
  uint8_t frameLengthFlag = 0;
  uint32_t extensionObjectType = 0;
  uint32_t extensionSamplingFrequencyIndex = 0;
  uint32_t preSkip = 0;
  uint32_t outputGain = 0;
  // Set for an MPEG-4 audio esds and for Opus: the entry can be decoded.
  uint8_t isMpeg4Audio = 0;
  uint8_t sbrPresent = 0;
  uint8_t psPresent = 0;
  uint8_t hasChannelMapping = 0;
  std::array<uint8_t, 10> channelMapping{};
};

}  // namespace plexora
