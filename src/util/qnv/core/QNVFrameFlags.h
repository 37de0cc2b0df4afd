// The bits of a frame record's flags. Assets set them on the frames they
// hand out; the player reads the audio ones and passes a video frame's flags
// on to the display engine with the frame.
//
// Thread safety: constants only.
#pragma once

#include <cstdint>

namespace plexora {

// On a sync frame, the only place a stream can switch to a new format: the
// display engine checks whether its decoder still fits. The local MP4 asset
// sets it only while its embedFrameInfo flag is on.
inline constexpr uint32_t kQNVFrameFlagFormatMayHaveChanged = 1U << 0;
// The video stream is VP9.
inline constexpr uint32_t kQNVFrameFlagVP9 = 1U << 1;
// The first audio packet of a run: the looping asset marks the first one
// after each restart.
inline constexpr uint32_t kQNVFrameFlagFirstAudioPacketOfRun = 1U << 2;
// The last audio packet of a run: the looping asset marks the one that
// reaches the end of the loop's video.
inline constexpr uint32_t kQNVFrameFlagLastAudioPacketOfRun = 1U << 3;
// A video frame to decode (later frames need it) but never to show: it lies
// outside the clip's edits.
inline constexpr uint32_t kQNVFrameFlagDoNotDisplay = 1U << 4;

}  // namespace plexora
