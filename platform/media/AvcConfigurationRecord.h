// The H.264 decoder configuration record ("avcC") of a video format: its
// parameter sets and NAL length size, as MP4 files and libavcodec carry
// them.
//
// Thread safety: a pure function.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/media/VideoFormatDescription.h"

namespace plexora::platform {

// False (and `record` unspecified) when the format has no SPS and PPS, an
// SPS too short for its header, a set longer than 65535 bytes or a NAL
// length size other than 1, 2 or 4.
bool makeAvcConfigurationRecord(const VideoFormatDescription& format, std::vector<uint8_t>& record);

}  // namespace plexora::platform
