// One frame of a track as the MP4 parser hands it to a frame store: where its
// bytes lie and when it is decoded and shown, in the track's timescale.
//
// Thread safety: a plain value.
#pragma once

#include <cstdint>

namespace plexora {

struct QNVMp4FrameRecord {
  uint64_t offset = 0;  // file or track byte offset of the frame's first byte
  uint32_t size = 0;
  uint32_t duration = 0;
  uint64_t dts = 0;
  uint64_t pts = 0;
  // Decode time on the stream's absolute scale; equals dts for a movie file.
  uint64_t absoluteDts = 0;

  bool operator==(const QNVMp4FrameRecord&) const = default;
};

}  // namespace plexora
