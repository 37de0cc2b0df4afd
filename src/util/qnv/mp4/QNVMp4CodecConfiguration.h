// The codec configuration of a track: reading its sample description box,
// and turning what was read into what the decoders are made from.
//
// Thread safety: pure functions; call from any thread.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/media/AudioStreamDescription.h"
#include "platform/media/VideoFormatDescription.h"
#include "platform/value/Value.h"
#include "util/qnv/mp4/QNVByteReader.h"
#include "util/qnv/mp4/QNVMp4SampleDescription.h"

namespace plexora {

// The status of a video part without exactly one SPS and one PPS: four
// question marks, the code of an unknown format.
inline constexpr int32_t kQNVVideoCodecsUnsupportedStatus = 0x3F3F3F3F;

// Reads an stsd box (`box` spans it, header included) into `out`: H.264
// ('avc1' with 'avcC'), AAC ('mp4a' with 'esds') and Opus ('Opus' with
// 'dOps') entries; other entries are passed over. False when the box's bytes
// do not hold what it announces.
[[nodiscard]] bool readQNVMp4SampleDescriptionBox(const QNVByteReader& box, QNVMP4SampleDescription& out);

// The H.264 format description of the video part. Returns the platform's
// status, or kQNVVideoCodecsUnsupportedStatus without a description unless
// there is exactly one SPS and one PPS.
[[nodiscard]] int32_t createH264FormatDescription(const QNVMP4SampleDescription& description,
                                                  std::optional<platform::VideoFormatDescription>& out);

// The AAC stream description of the audio part: HE-AAC v2 ('aacp', two
// channels, 2048 frames a packet at the extension rate) when SBR and PS are
// signalled with an extension rate, else 'aac ' at the core rate with 1024
// frames a packet (960 with the frame-length flag). None when the rate index
// or the object type cannot be described.
[[nodiscard]] std::optional<platform::AudioStreamBasicDescription> audioStreamDescription(
    const QNVMP4SampleDescription& description);

// "preSkip", "outputGain", "hasChannelMapping" and "channelMapping" (the 10
// mapping bytes, or empty data without a mapping) of an Opus audio part.
[[nodiscard]] platform::Dictionary opusHeaderDictionary(const QNVMP4SampleDescription& description);

}  // namespace plexora
