#include "util/qnv/audio/QNVAudioFormatHelper.h"

#include <array>

#include "util/OVAdLogger.h"

namespace plexora {

namespace {

constexpr std::array<double, kQNVSamplingFrequencyCount> kSamplingFrequencies = {
    96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000, 7350,
};
constexpr uint32_t kEscapeObjectType = 31;
constexpr const char* kInvalidSampleRateIndex = "Invalid sample rate index: %d";

}  // namespace

std::optional<double> QNVAudioFormatHelper::sampleRateForIndex(uint32_t sampleRateIndex) {
  if (sampleRateIndex >= kSamplingFrequencies.size()) return std::nullopt;
  return kSamplingFrequencies[sampleRateIndex];
}

std::optional<platform::AudioStreamBasicDescription> QNVAudioFormatHelper::audioStreamBasicDescriptionWithFormatId(
    uint32_t formatId, uint32_t channelCount, uint32_t sampleRateIndex, uint32_t framesPerPacket,
    uint32_t objectType) {
  const auto sampleRate = sampleRateForIndex(sampleRateIndex);
  if (!sampleRate) {
    OV_LOG(kOVAdLogLevelWarn, kInvalidSampleRateIndex, static_cast<int>(sampleRateIndex));
    return std::nullopt;
  }
  if (objectType == kEscapeObjectType) return std::nullopt;
  platform::AudioStreamBasicDescription description;
  description.sampleRate = *sampleRate;
  description.formatID = formatId;
  description.framesPerPacket = framesPerPacket;
  description.channelsPerFrame = channelCount;
  return description;
}

}  // namespace plexora
