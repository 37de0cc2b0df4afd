// ffmpeg as the oracle of the video tests: its decode of a clip's frames,
// and the measure the pictures drawn are held to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace plexora::testing {

// Runs a shell command and answers what it wrote on standard output.
std::vector<uint8_t> commandOutput(const std::string& command);

// ffmpeg's decoder option for the picture the stream crops to: by default
// it moves a crop at the left only to an aligned column, leaving the columns
// before it in the picture.
inline constexpr const char* kExactCropDecoding = "-flags unaligned";

// ffmpeg's decode of the clip's video frames in presentation order, each
// frame `frameBytes` long in the given pixel format (e.g. "nv12") and,
// with a size, scaled to it.
std::vector<std::vector<uint8_t>> ffmpegFrames(const std::string& path, const std::string& pixelFormat,
                                               size_t frameBytes, const std::string& scaleTo = "");

// Peak signal-to-noise ratio of two equally long 8-bit sample arrays, in
// dB; infinity when they are equal.
double psnr(const uint8_t* a, const uint8_t* b, size_t count);

}  // namespace plexora::testing
