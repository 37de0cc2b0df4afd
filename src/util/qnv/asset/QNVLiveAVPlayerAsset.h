// What an asset that can play a live stream tells the views about the live
// edge: the presentation time of the next audio frame as an absolute stream
// time, and how far the video handed out lags the newest published frame.
//
// Thread safety: called on the media-state queue only.
// Ownership: an interface; the asset is held by its creator and the player.
#pragma once

namespace plexora {

class QNVLiveAVPlayerAsset {
 public:
  virtual ~QNVLiveAVPlayerAsset() = default;
  // Milliseconds of stream time; -1.0 when unknown.
  virtual double nextLiveAudioTimestamp() = 0;
  // Milliseconds; never below 0.0.
  virtual double elapsedVideoTimestamp() = 0;
};

}  // namespace plexora
