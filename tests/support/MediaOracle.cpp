#include "support/MediaOracle.h"

#include <cmath>
#include <cstdio>
#include <limits>

namespace plexora::testing {

std::vector<uint8_t> commandOutput(const std::string& command) {
  std::vector<uint8_t> output;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return output;
  uint8_t buffer[65536];
  size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.insert(output.end(), buffer, buffer + got);
  ::pclose(pipe);
  return output;
}

std::vector<std::vector<uint8_t>> ffmpegFrames(const std::string& path, const std::string& pixelFormat,
                                               size_t frameBytes, const std::string& scaleTo) {
  std::string command = "ffmpeg -nostdin -v error " + std::string(kExactCropDecoding) + " -i '" + path +
                        "' -map 0:v:0 -fps_mode passthrough";
  // Chroma interpolated at full resolution from sample centres, as a GPU
  // samples a half-size texture.
  if (!scaleTo.empty()) {
    command += " -vf scale=" + scaleTo + ":flags=bilinear+accurate_rnd:in_h_chr_pos=128:in_v_chr_pos=128,format=yuv444p";
  }
  command += " -f rawvideo -pix_fmt " + pixelFormat + " -";
  const std::vector<uint8_t> all = commandOutput(command);
  std::vector<std::vector<uint8_t>> frames;
  for (size_t offset = 0; frameBytes > 0 && offset + frameBytes <= all.size(); offset += frameBytes) {
    frames.emplace_back(all.begin() + static_cast<ptrdiff_t>(offset),
                        all.begin() + static_cast<ptrdiff_t>(offset + frameBytes));
  }
  return frames;
}

double psnr(const uint8_t* a, const uint8_t* b, size_t count) {
  double squares = 0;
  for (size_t i = 0; i < count; ++i) {
    const double difference = static_cast<double>(a[i]) - static_cast<double>(b[i]);
    squares += difference * difference;
  }
  if (squares == 0) return std::numeric_limits<double>::infinity();
  return 10.0 * std::log10(255.0 * 255.0 / (squares / static_cast<double>(count)));
}

}  // namespace plexora::testing
