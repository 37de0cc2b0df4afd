#include "util/qnv/mp4/QNVMp4CodecConfiguration.h"

#include <algorithm>
#include <span>
#include <vector>

#include "util/OVAdLogger.h"
#include "util/qnv/audio/QNVAudioFormatHelper.h"
#include "util/qnv/mp4/QNVMp4BoxReading.h"

namespace plexora {

namespace {

constexpr uint32_t kAvc1 = fourCharCode("avc1");
constexpr uint32_t kMp4a = fourCharCode("mp4a");
constexpr uint32_t kOpus = fourCharCode("Opus");
constexpr uint32_t kAvcC = fourCharCode("avcC");
constexpr uint32_t kEsds = fourCharCode("esds");
constexpr uint32_t kDOps = fourCharCode("dOps");

constexpr const char* kUnexpectedNaluLengthSize = "Unexpected NALU length size: %d";
constexpr const char* kVideoCodecsUnsupported = "Video codecs unsupported or corrupted";

constexpr uint8_t kObjectTypeMpeg4Audio = 0x40;
constexpr uint8_t kStreamDependenceFlag = 0x80;
constexpr uint8_t kUrlFlag = 0x40;
constexpr uint8_t kOcrStreamFlag = 0x20;
constexpr uint32_t kSbrObjectType = 5;
constexpr uint32_t kPsObjectType = 29;
constexpr uint32_t kSbrSyncExtension = 0x56E0;  // 0x2B7 in the top 11 bits
constexpr uint32_t kPsSyncExtension = 0x548;
constexpr unsigned kMaxLengthBytes = 4;

constexpr uint32_t kAacFramesPerPacket = 1024;
constexpr uint32_t kAacShortFramesPerPacket = 960;
constexpr uint32_t kHeAacV2FramesPerPacket = 2048;
constexpr uint32_t kHeAacV2Channels = 2;

constexpr uint32_t kOpusObjectType = 1;
// Opus always decodes at 48 kHz, index 3 of the sampling-frequency table.
constexpr uint32_t kOpusSamplingFrequencyIndex = 3;
constexpr uint8_t kOpusMappingFamilyExplicit = 255;
constexpr uint32_t kMaxMappedChannels = 10;

constexpr const char* kPreSkipKey = "preSkip";
constexpr const char* kOutputGainKey = "outputGain";
constexpr const char* kHasChannelMappingKey = "hasChannelMapping";
constexpr const char* kChannelMappingKey = "channelMapping";

// A descriptor length in the expandable form: each byte with its top bit set
// is followed by another, four at most.
[[nodiscard]] bool readDescriptorLength(const QNVByteReader& reader, uint64_t& position, uint32_t& length) {
  length = 0;
  for (unsigned i = 0; i < kMaxLengthBytes; ++i) {
    uint8_t byte = 0;
    QNV_MP4_CHECK(reader.readU8(position++, byte));
    length = (length << 7) | (byte & 0x7F);
    if ((byte & 0x80) == 0) return true;
  }
  return false;
}

[[nodiscard]] bool readParameterSets(const QNVByteReader& box, uint64_t& position, uint32_t count,
                                     std::vector<std::vector<uint8_t>>& out) {
  out.clear();
  for (uint32_t i = 0; i < count; ++i) {
    uint16_t length = 0;
    QNV_MP4_CHECK(box.readU16(position, length));
    const uint8_t* bytes = box.bytesAt(position + 2, length);
    QNV_MP4_CHECK(bytes != nullptr);
    out.emplace_back(bytes, bytes + length);
    position += 2 + uint64_t{length};
  }
  return true;
}

[[nodiscard]] bool readAvcC(const QNVByteReader& box, QNVMP4SampleDescription& out) {
  uint8_t byte = 0;
  QNV_MP4_CHECK(box.readU8(12, byte));
  out.naluLengthSize = (byte & 3U) + 1;
  if (out.naluLengthSize != 4) OV_LOG(kOVAdLogLevelWarn, kUnexpectedNaluLengthSize, static_cast<int>(out.naluLengthSize));
  uint64_t position = 13;
  QNV_MP4_CHECK(box.readU8(position++, byte));
  QNV_MP4_CHECK(readParameterSets(box, position, byte & 31U, out.sequenceParameterSets));
  QNV_MP4_CHECK(box.readU8(position++, byte));
  return readParameterSets(box, position, byte, out.pictureParameterSets);
}

void clearAudioPart(QNVMP4SampleDescription& out) {
  out.objectType = 0;
  out.channelConfiguration = 0;
  out.samplingFrequencyIndex = 0;
  out.frameLengthFlag = 0;
  out.extensionObjectType = 0;
  out.extensionSamplingFrequencyIndex = 0;
  out.preSkip = 0;
  out.outputGain = 0;
  out.isMpeg4Audio = 0;
  out.sbrPresent = 0;
  out.psPresent = 0;
  out.hasChannelMapping = 0;
  out.channelMapping.fill(0);
}

// Explicit SBR and PS signalling after the AudioSpecificConfig's first two
// bytes; `config` holds only the decoder-specific info, so nothing past it is
// mistaken for an extension.
void readSbrExtension(const QNVByteReader& config, QNVMP4SampleDescription& out) {
  uint8_t c0 = 0;
  uint8_t c1 = 0;
  if (!config.readU8(2, c0) || !config.readU8(3, c1)) return;
  if (((uint32_t{c0} << 8) | (c1 & 0xE0U)) != kSbrSyncExtension || (c1 & 31U) != kSbrObjectType) return;
  out.extensionObjectType = kSbrObjectType;
  uint8_t d0 = 0;
  if (!config.readU8(4, d0) || (d0 & 0x80) == 0) return;
  out.sbrPresent = 1;
  out.extensionSamplingFrequencyIndex = (d0 >> 3) & 15U;
  uint8_t d1 = 0;
  uint8_t e0 = 0;
  if (!config.readU8(5, d1) || !config.readU8(6, e0)) return;
  // The 11-bit sync word announces the PS flag; the flag itself follows it.
  const uint32_t sync = ((d0 & 7U) << 8) | d1;
  out.psPresent = sync == kPsSyncExtension && (e0 & 0x80) != 0 ? 1 : 0;
}

// Explicit hierarchical signalling: object type 5 (SBR) or 29 (PS) comes
// first, then the core's rate and channels, the output's rate and the core's
// object type and its frame-length flag.
void readHierarchicalSbr(const QNVByteReader& config, QNVMP4SampleDescription& out) {
  uint8_t b1 = 0;
  uint8_t b2 = 0;
  if (!config.readU8(1, b1) || !config.readU8(2, b2)) return;
  out.extensionObjectType = kSbrObjectType;
  out.sbrPresent = 1;
  out.psPresent = out.objectType == kPsObjectType ? 1 : 0;
  out.extensionSamplingFrequencyIndex = ((b1 & 7U) << 1) | (b2 >> 7);
  out.frameLengthFlag = (b2 >> 1) & 1U;
}

[[nodiscard]] bool readEsds(const QNVByteReader& box, QNVMP4SampleDescription& out) {
  uint64_t position = kQNVMp4FullBoxHeaderSize + 1;  // past the ES descriptor tag
  uint32_t length = 0;
  QNV_MP4_CHECK(readDescriptorLength(box, position, length));
  uint8_t flags = 0;
  QNV_MP4_CHECK(box.readU8(position + 2, flags));  // after the ES id
  position += 3;
  if ((flags & kStreamDependenceFlag) != 0) position += 2;
  if ((flags & kUrlFlag) != 0) {
    uint8_t urlLength = 0;
    QNV_MP4_CHECK(box.readU8(position, urlLength));
    position += 1 + uint64_t{urlLength};
  }
  if ((flags & kOcrStreamFlag) != 0) position += 2;
  position += 1;  // the decoder-config descriptor tag
  QNV_MP4_CHECK(readDescriptorLength(box, position, length));

  uint8_t objectTypeIndication = 0;
  QNV_MP4_CHECK(box.readU8(position, objectTypeIndication));
  if (objectTypeIndication != kObjectTypeMpeg4Audio) {
    out.isMpeg4Audio = 0;
    return true;
  }
  out.isMpeg4Audio = 1;
  position += 1 + 12;  // stream type, buffer size, maximum and average bit rates
  position += 1;  // the decoder-specific-info tag
  QNV_MP4_CHECK(readDescriptorLength(box, position, length));

  QNVByteReader config = box;
  config.advance(position);
  config = config.window(std::min<uint64_t>(length, config.bytesLeft()));
  uint8_t b0 = 0;
  uint8_t b1 = 0;
  QNV_MP4_CHECK(config.readU8(0, b0) && config.readU8(1, b1));
  clearAudioPart(out);
  out.isMpeg4Audio = 1;
  out.objectType = b0 >> 3;
  out.samplingFrequencyIndex = ((b0 & 7U) << 1) | (b1 >> 7);
  out.channelConfiguration = (b1 >> 3) & 15U;
  out.frameLengthFlag = (b1 >> 2) & 1U;
  if (out.objectType == kSbrObjectType || out.objectType == kPsObjectType) {
    readHierarchicalSbr(config, out);
  } else {
    readSbrExtension(config, out);
  }
  return true;
}

// Audio and visual sample entries keep their codec box after fields whose
// length depends on the entry's version, so the entry is scanned for it.
[[nodiscard]] bool readCodecBoxesOfEntry(const QNVByteReader& entry, uint64_t entrySize, QNVMP4SampleDescription& out) {
  uint64_t position = 0;
  while (position < entrySize) {
    uint32_t type = 0;
    if (!entry.readU32(position + 4, type)) break;
    if (type != kAvcC && type != kEsds) {
      ++position;
      continue;
    }
    uint32_t size = 0;
    QNV_MP4_CHECK(entry.readU32(position, size));
    QNV_MP4_CHECK(size >= kQNVMp4BoxHeaderSize && size <= entrySize - position);
    QNVByteReader box = entry;
    box.advance(position);
    box = box.window(size);
    QNV_MP4_CHECK(type == kAvcC ? readAvcC(box, out) : readEsds(box, out));
    position += size;
  }
  return true;
}

[[nodiscard]] bool readOpus(const QNVByteReader& entry, QNVMP4SampleDescription& out) {
  uint16_t channelCount = 0;
  uint32_t boxType = 0;
  uint16_t preSkip = 0;
  uint16_t outputGain = 0;
  uint8_t family = 0;
  QNV_MP4_CHECK(entry.readU16(24, channelCount) && entry.readU32(40, boxType));
  clearAudioPart(out);
  if (boxType != kDOps) return true;
  QNV_MP4_CHECK(entry.readU16(46, preSkip) && entry.readU16(52, outputGain) && entry.readU8(54, family));
  out.objectType = kOpusObjectType;
  out.channelConfiguration = channelCount;
  out.samplingFrequencyIndex = kOpusSamplingFrequencyIndex;
  out.preSkip = preSkip;
  out.outputGain = outputGain;
  out.isMpeg4Audio = 1;
  if (channelCount <= kMaxMappedChannels && family == kOpusMappingFamilyExplicit) {
    const uint8_t* mapping = entry.bytesAt(57, channelCount);
    QNV_MP4_CHECK(mapping != nullptr);
    out.hasChannelMapping = 1;
    std::copy(mapping, mapping + channelCount, out.channelMapping.begin());
  }
  return true;
}

}  // namespace

bool readQNVMp4SampleDescriptionBox(const QNVByteReader& box, QNVMP4SampleDescription& out) {
  uint32_t count = 0;
  QNV_MP4_CHECK(box.readU32(kQNVMp4FullBoxHeaderSize, count));
  QNVByteReader entries = box;
  entries.advance(kQNVMp4FullBoxHeaderSize + 4);
  for (uint32_t i = 0; i < count; ++i) {
    QNVMp4BoxHeader header;
    QNV_MP4_CHECK(readQNVMp4BoxHeader(entries, header) == QNVMp4HeaderRead::kRead);
    QNV_MP4_CHECK(header.size <= entries.bytesLeft());
    const QNVByteReader entry = entries.window(header.size);
    if (header.type == kAvc1 || header.type == kMp4a) {
      out.codingName = header.type;
      QNV_MP4_CHECK(readCodecBoxesOfEntry(entry, header.size, out));
    } else if (header.type == kOpus) {
      out.codingName = header.type;
      QNV_MP4_CHECK(readOpus(entry, out));
    }
    entries.advance(header.size);
  }
  return true;
}

int32_t createH264FormatDescription(const QNVMP4SampleDescription& description,
                                    std::optional<platform::VideoFormatDescription>& out) {
  if (description.sequenceParameterSets.size() != 1 || description.pictureParameterSets.size() != 1) {
    OV_LOG(kOVAdLogLevelWarn, "%s", kVideoCodecsUnsupported);
    return kQNVVideoCodecsUnsupportedStatus;
  }
  const std::span<const uint8_t> sets[] = {description.sequenceParameterSets[0], description.pictureParameterSets[0]};
  return platform::VideoFormatDescription::createFromH264ParameterSets(
      sets, static_cast<int32_t>(description.naluLengthSize), out);
}

std::optional<platform::AudioStreamBasicDescription> audioStreamDescription(const QNVMP4SampleDescription& description) {
  // Signalled explicitly as HE-AAC: the stream plays at the output rate,
  // twice the core's, with twice the frames per packet.
  if ((description.objectType == kSbrObjectType || description.objectType == kPsObjectType) &&
      description.sbrPresent != 0) {
    const bool parametricStereo = description.psPresent != 0;
    const uint32_t coreFrames = description.frameLengthFlag != 0 ? kAacShortFramesPerPacket : kAacFramesPerPacket;
    return QNVAudioFormatHelper::audioStreamBasicDescriptionWithFormatId(
        parametricStereo ? platform::kAudioFormatMPEG4AAC_HE_V2 : platform::kAudioFormatMPEG4AAC_HE,
        parametricStereo ? kHeAacV2Channels : description.channelConfiguration,
        description.extensionSamplingFrequencyIndex, 2 * coreFrames, description.objectType);
  }
  if (description.sbrPresent != 0 && description.psPresent != 0 && description.extensionSamplingFrequencyIndex != 0) {
    return QNVAudioFormatHelper::audioStreamBasicDescriptionWithFormatId(
        platform::kAudioFormatMPEG4AAC_HE_V2, kHeAacV2Channels, description.extensionSamplingFrequencyIndex,
        kHeAacV2FramesPerPacket, description.objectType);
  }
  return QNVAudioFormatHelper::audioStreamBasicDescriptionWithFormatId(
      platform::kAudioFormatMPEG4AAC, description.channelConfiguration, description.samplingFrequencyIndex,
      description.frameLengthFlag != 0 ? kAacShortFramesPerPacket : kAacFramesPerPacket, description.objectType);
}

platform::Dictionary opusHeaderDictionary(const QNVMP4SampleDescription& description) {
  platform::Bytes mapping;
  if (description.hasChannelMapping != 0) mapping.assign(description.channelMapping.begin(), description.channelMapping.end());
  return platform::Dictionary{
      {kPreSkipKey, platform::Value(description.preSkip)},
      {kOutputGainKey, platform::Value(description.outputGain)},
      {kHasChannelMappingKey, platform::Value(description.hasChannelMapping != 0)},
      {kChannelMappingKey, platform::Value(std::move(mapping))},
  };
}

}  // namespace plexora
