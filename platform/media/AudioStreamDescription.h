// What an audio decoder is told about a compressed audio stream, and where
// each packet of it lies in a buffer.
//
// Fields that do not apply to a compressed format (bytes per packet of a
// variable-size codec, bits per channel) are 0.
//
// Thread safety: plain values.
#pragma once

#include <cstdint>

#include "platform/media/FourCharCode.h"

namespace plexora::platform {

inline constexpr FourCharCode kAudioFormatMPEG4AAC = fourCharCode("aac ");
inline constexpr FourCharCode kAudioFormatMPEG4AAC_HE = fourCharCode("aach");
inline constexpr FourCharCode kAudioFormatMPEG4AAC_HE_V2 = fourCharCode("aacp");
inline constexpr FourCharCode kAudioFormatOpus = fourCharCode("opus");

struct AudioStreamBasicDescription {
  double sampleRate = 0.0;
  FourCharCode formatID = 0;
  uint32_t formatFlags = 0;
  uint32_t bytesPerPacket = 0;
  uint32_t framesPerPacket = 0;
  uint32_t bytesPerFrame = 0;
  uint32_t channelsPerFrame = 0;
  uint32_t bitsPerChannel = 0;
  uint32_t reserved = 0;

  bool operator==(const AudioStreamBasicDescription&) const = default;
};

// One packet of a buffer of packets: its byte offset from the buffer's start,
// its frame count when packets vary in frames (0 otherwise), its byte count.
struct AudioStreamPacketDescription {
  int64_t startOffset = 0;
  uint32_t variableFramesInPacket = 0;
  uint32_t dataByteSize = 0;

  bool operator==(const AudioStreamPacketDescription&) const = default;
};

}  // namespace plexora::platform
