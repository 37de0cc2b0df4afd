// Builds the stream description of an AAC track from the fields of its
// decoder configuration.
//
// Thread safety: pure functions; call from any thread.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/media/AudioStreamDescription.h"

namespace plexora {

// Entries of the ISO/IEC 14496-3 sampling-frequency table (indexes 0 to 12).
inline constexpr uint32_t kQNVSamplingFrequencyCount = 13;

class QNVAudioFormatHelper final {
 public:
  QNVAudioFormatHelper() = delete;

  // The rate of a sampling-frequency index, or none for 13 to 15: 13 and 14
  // are reserved and 15 means an explicit rate that the index cannot carry.
  static std::optional<double> sampleRateForIndex(uint32_t sampleRateIndex);

  // A compressed-format description (no flags, bytes or bits per packet).
  // None for a sampling-frequency index without a rate, and for the escape
  // object type 31, whose real type follows in bits the caller did not read.
  static std::optional<platform::AudioStreamBasicDescription> audioStreamBasicDescriptionWithFormatId(
      uint32_t formatId, uint32_t channelCount, uint32_t sampleRateIndex, uint32_t framesPerPacket,
      uint32_t objectType);
};

}  // namespace plexora
