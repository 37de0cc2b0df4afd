// A generated clip's video track as the decoders take it (the format
// description and one sample buffer per frame, in decode order, read with
// the MP4 parser); ffmpeg's own decode of the same frames is the oracle
// (support/MediaOracle.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/media/PixelBuffer.h"
#include "platform/media/SampleBuffer.h"
#include "platform/media/VideoFormatDescription.h"
#include "support/MediaOracle.h"

namespace plexora::testing {

struct QNVTestVideoTrack {
  std::optional<platform::VideoFormatDescription> format;
  std::vector<platform::SampleBuffer> samples;  // decode order
  std::vector<std::vector<uint8_t>> sampleBytes;
};

struct QNVTestAudioTrack {
  std::optional<platform::AudioStreamBasicDescription> description;
  std::vector<std::vector<uint8_t>> packets;  // decode order
  uint32_t largestPacket = 0;
};

// The path of a clip the build made (see scripts/make-test-media.sh).
std::string testMediaPath(const std::string& name);

// A test name made of a clip's file name: every character that is not a
// letter or a digit becomes '_'.
std::string clipTestName(const std::string& clip);

// The clip's first video track; no format when the clip cannot be read.
QNVTestVideoTrack loadVideoTrack(const std::string& path);

// The clip's first audio track (AAC or Opus); no description when there is
// none.
QNVTestAudioTrack loadAudioTrack(const std::string& path);

// A sample of `format` holding `bytes`, with the given times.
platform::SampleBuffer makeVideoSample(const platform::VideoFormatDescription& format, std::vector<uint8_t> bytes,
                                       platform::MediaTime decodeTime, platform::MediaTime presentationTime,
                                       platform::MediaTime duration);

// The NV12 bytes of a picture without row padding, laid out as ffmpegFrames
// gives them for "nv12".
std::vector<uint8_t> packedNV12(platform::PixelBuffer& image);

}  // namespace plexora::testing
