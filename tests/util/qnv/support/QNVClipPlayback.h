// Plays a clip file as the ad views do, through the local MP4 asset, the
// player facade, the real layer on its rendering thread and the audio queue,
// on the manual clock, and compares what it drew and played with ffmpeg's
// own decode of the same file: each frame ffmpeg shows, at its ffprobe time,
// and each audio packet ffprobe lists.
//
// Thread safety: call from the test's thread; the engine runs on its own
// queues and the function waits for them.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/dispatch/Clock.h"
#include "platform/media/AudioOutputQueue.h"
#include "util/qnv/asset/QNVMediaAsset.h"
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
  // The player's representation id at each frame ffmpeg outputs (empty
  // for an asset without one).
  std::vector<std::string> frameRepresentations;
  // Per frame, the PSNR against each oracle's frame at that index, in the
  // oracles' order (framePsnr holds the best of them).
  std::vector<std::vector<double>> framePsnrPerOracle;
};

// How an item that is not a local file is played: it is loaded already,
// runs on `clock` (installed by the caller), posts its notifications as
// `sender`, and may lack data for a while (its downloads run in real time),
// so the clock moves on in small steps until the player's time reaches
// each frame's, for at most `realTimeLimit` of real time in all (0: one
// step per frame, for an item whose data is all at hand).
struct QNVItemPlayback {
  std::shared_ptr<QNVAssetForPlayer> item;
  const void* sender = nullptr;
  platform::ManualClock* clock = nullptr;
  std::chrono::milliseconds realTimeLimit{30'000};
  // When set, called on the test's thread with each frame's time before the
  // clock moves on to it: a network that changes as playback goes on.
  std::function<void(double seconds)> beforeFrame{};
};

// Plays the whole clip on a layer of `width` x `height` pixels drawing as
// `drawing` says; the oracle is ffmpeg's decode scaled to that size with
// `scaleFlags` (the swscale flags, "" for the default comparison's
// bilinear), each frame at its ffprobe time less `oracleTimeOffset`
// (ffmpeg's output starts at the first frame of media that starts late).
QNVPlayedClip playClip(const std::string& path, int width, int height, const std::string& scaleFlags = "",
                       QNVDrawingChoice drawing = QNVDrawingChoice::kAutomatic, double oracleTimeOffset = 0);

// From the packet still playing at 0 (the packets before it, outside the
// edits, need not be fed), every packet ffprobe lists in the file's first
// audio stream, with its size, in order, each buffer at its first packet's
// time (less `oracleTimeOffset`), within one packet. Reports through
// GoogleTest.
void expectAudioLikeFfprobe(const std::string& path, const QNVPlayedClip& played, double oracleTimeOffset = 0);

// The same for an item of another kind; `oraclePath` is a file ffmpeg
// decodes to the frames the item should show.
QNVPlayedClip playItem(const QNVItemPlayback& playback, const std::string& oraclePath, int width, int height,
                       QNVDrawingChoice drawing = QNVDrawingChoice::kAutomatic);

// The same against several oracles of one timeline: the representations of
// a stream that switches between them, each frame compared with all.
QNVPlayedClip playItemAgainst(const QNVItemPlayback& playback, const std::vector<std::string>& oraclePaths, int width,
                              int height);

}  // namespace plexora::testing
