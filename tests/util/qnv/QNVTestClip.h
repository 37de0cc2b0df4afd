// A generated clip's video track as the decoders take it (the format
// description and one sample buffer per frame, in decode order, read with
// the MP4 parser), and ffmpeg's own decode of the same frames as the oracle.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/media/PixelBuffer.h"
#include "platform/media/SampleBuffer.h"
#include "platform/media/VideoFormatDescription.h"

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

// The clip's first video track; no format when the clip cannot be read.
QNVTestVideoTrack loadVideoTrack(const std::string& path);

// The clip's first audio track (AAC or Opus); no description when there is
// none.
QNVTestAudioTrack loadAudioTrack(const std::string& path);

// A sample of `format` holding `bytes`, with the given times.
platform::SampleBuffer makeVideoSample(const platform::VideoFormatDescription& format, std::vector<uint8_t> bytes,
                                       platform::MediaTime decodeTime, platform::MediaTime presentationTime,
                                       platform::MediaTime duration);

// Runs a shell command and answers what it wrote on standard output.
std::vector<uint8_t> commandOutput(const std::string& command);

// ffmpeg's decode of the clip's video frames in presentation order, each
// frame `frameBytes` long in the given pixel format (e.g. "nv12") and,
// with a size, scaled to it.
std::vector<std::vector<uint8_t>> ffmpegFrames(const std::string& path, const std::string& pixelFormat,
                                               size_t frameBytes, const std::string& scaleTo = "");

// The NV12 bytes of a picture without row padding, laid out as ffmpegFrames
// gives them for "nv12".
std::vector<uint8_t> packedNV12(platform::PixelBuffer& image);

// Peak signal-to-noise ratio of two equally long 8-bit sample arrays, in
// dB; infinity when they are equal.
double psnr(const uint8_t* a, const uint8_t* b, size_t count);

}  // namespace plexora::testing
