// Plays a clip file as the ad views do, through the local MP4 asset, the
// player facade, the real layer on its rendering thread and the audio queue,
// on the manual clock, and compares what it drew and played with ffmpeg's
// own decode of the same file: each frame ffmpeg shows, at its ffprobe time,
// and each audio packet ffprobe lists.
//
// Thread safety: call from the test's thread; the engine runs on its own
// queues and the function waits for them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/media/AudioOutputQueue.h"
#include "util/qnv/render/QNVPlayerLayerPolicies.h"

namespace plexora::testing {

struct QNVProbedPacket {
  double seconds = 0;
  size_t size = 0;
};

// ffprobe's packets of the clip's first audio stream, in file order.
std::vector<QNVProbedPacket> ffprobeAudioPackets(const std::string& path);

// ffprobe's presentation times of the frames ffmpeg outputs for the first
// video stream, in output order.
std::vector<double> ffprobeVideoFrameTimes(const std::string& path);

struct QNVPlayedClip {
  // Per frame ffmpeg outputs: the PSNR of the layer's picture shown just
  // after its time against ffmpeg's frame, both at the layer's size.
  std::vector<double> framePsnr;
  int failures = 0;
  int ends = 0;
  int64_t playerStatus = 0;
  double sampleRate = 0;
  uint32_t framesPerPacket = 0;
  std::vector<platform::AudioOutputQueue::PlayedBuffer> audio;
};

// Plays the whole clip on a layer of `width` x `height` pixels drawing as
// `drawing` says; the oracle is ffmpeg's decode scaled to that size with
// `scaleFlags` (the swscale flags, "" for the default comparison's
// bilinear), each frame at its ffprobe time less `oracleTimeOffset`
// (ffmpeg's output starts at the first frame of media that starts late).
QNVPlayedClip playClip(const std::string& path, int width, int height, const std::string& scaleFlags = "",
                       QNVDrawingChoice drawing = QNVDrawingChoice::kAutomatic, double oracleTimeOffset = 0);

}  // namespace plexora::testing
