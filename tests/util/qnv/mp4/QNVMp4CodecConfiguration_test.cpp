#include "util/qnv/mp4/QNVMp4CodecConfiguration.h"

#include <gtest/gtest.h>

#include "util/qnv/mp4/Mp4MovieFixtures.h"
#include "util/qnv/audio/QNVAudioFormatHelper.h"

namespace plexora {
namespace {

using testing::Bytes;
using testing::Mp4BoxWriter;

// The parameter sets x264 writes for a 160x90 baseline clip: the SPS carries
// emulation-prevention bytes and crops 96 coded lines to 90.
const Bytes kSps = {0x67, 0x42, 0xC0, 0x0B, 0xD9, 0x02, 0x8D, 0xF9, 0x30, 0x11, 0x00, 0x00,
                    0x03, 0x00, 0x01, 0x00, 0x00, 0x03, 0x00, 0x3C, 0x0F, 0x14, 0x2A, 0x48};
const Bytes kPps = {0x68, 0xCB, 0x83, 0xCB, 0x20};

Bytes stsd(std::initializer_list<Bytes> entries) {
  Mp4BoxWriter w;
  w.openFull("stsd", 0).u32(static_cast<uint32_t>(entries.size()));
  for (const Bytes& entry : entries) w.raw(entry);
  w.close();
  return w.take();
}

bool read(const Bytes& box, QNVMP4SampleDescription& out) {
  return readQNVMp4SampleDescriptionBox(QNVByteReader(box.data(), box.data() + box.size()), out);
}

TEST(QNVMp4CodecConfigurationTest, AvcCGivesTheParameterSetsAndAFormatDescription) {
  QNVMP4SampleDescription description;
  ASSERT_TRUE(read(stsd({testing::avc1Entry({kSps}, {kPps})}), description));
  EXPECT_EQ(description.codingName, platform::fourCharCode("avc1"));
  EXPECT_EQ(description.naluLengthSize, 4U);
  ASSERT_EQ(description.sequenceParameterSets.size(), 1U);
  EXPECT_EQ(description.sequenceParameterSets[0], kSps);
  EXPECT_EQ(description.pictureParameterSets.at(0), kPps);

  std::optional<platform::VideoFormatDescription> format;
  ASSERT_EQ(createH264FormatDescription(description, format), platform::kVideoFormatDescriptionOK);
  ASSERT_TRUE(format.has_value());
  EXPECT_EQ(format->dimensions(), (platform::VideoDimensions{160, 90}));
  EXPECT_EQ(format->nalUnitHeaderLength(), 4);
}

TEST(QNVMp4CodecConfigurationTest, NaluLengthSizeComesFromTheLowTwoBits) {
  for (auto [byte, size] : {std::pair<uint8_t, uint32_t>{0xFF, 4}, {0xFC, 1}, {0xFD, 2}}) {
    QNVMP4SampleDescription description;
    ASSERT_TRUE(read(stsd({testing::avc1Entry({kSps}, {kPps}, byte)}), description));
    EXPECT_EQ(description.naluLengthSize, size);
  }
}

TEST(QNVMp4CodecConfigurationTest, FormatDescriptionNeedsExactlyOneSpsAndOnePps) {
  const std::pair<std::vector<Bytes>, std::vector<Bytes>> cases[] = {
      {{kSps, kSps}, {kPps}},
      {{kSps}, {}},
      {{}, {kPps}},
  };
  for (const auto& [sps, pps] : cases) {
    QNVMP4SampleDescription description;
    ASSERT_TRUE(read(stsd({testing::avc1Entry(sps, pps)}), description));
    std::optional<platform::VideoFormatDescription> format;
    EXPECT_EQ(createH264FormatDescription(description, format), kQNVVideoCodecsUnsupportedStatus);
    EXPECT_FALSE(format.has_value());
  }
}

QNVMP4SampleDescription aac(const Bytes& audioSpecificConfig, uint8_t esFlags = 0, uint8_t objectType = 0x40) {
  QNVMP4SampleDescription description;
  EXPECT_TRUE(read(stsd({testing::mp4aEntry(testing::esdsBox(audioSpecificConfig, objectType, esFlags))}), description));
  return description;
}

TEST(QNVMp4CodecConfigurationTest, AacLowComplexity) {
  // Every combination of the ES descriptor's optional fields before the
  // decoder configuration.
  for (uint8_t flags : {0x00, 0x80, 0x40, 0x20, 0xE0}) {
    const auto description = aac({0x12, 0x10}, flags);
    EXPECT_EQ(description.isMpeg4Audio, 1) << int{flags};
    EXPECT_EQ(description.objectType, 2U) << int{flags};
    EXPECT_EQ(description.samplingFrequencyIndex, 4U) << int{flags};
    EXPECT_EQ(description.channelConfiguration, 2U) << int{flags};
    const auto stream = audioStreamDescription(description);
    ASSERT_TRUE(stream.has_value());
    EXPECT_EQ(stream->formatID, platform::kAudioFormatMPEG4AAC);
    EXPECT_EQ(stream->sampleRate, 44100.0);
    EXPECT_EQ(stream->channelsPerFrame, 2U);
    EXPECT_EQ(stream->framesPerPacket, 1024U);
  }
  EXPECT_EQ(audioStreamDescription(aac({0x12, 0x14}))->framesPerPacket, 960U) << "frame-length flag";
}

TEST(QNVMp4CodecConfigurationTest, ExplicitSbrAndParametricStereo) {
  // AAC-LC at 22050 Hz (index 7), mono; SBR to 44100 Hz (index 4); PS sync
  // 0x548 with its flag set or clear.
  const Bytes core = {0x13, 0x88};
  const Bytes sbrOnly = {0x13, 0x88, 0x56, 0xE5, 0xA0};
  const Bytes sbrAndPs = {0x13, 0x88, 0x56, 0xE5, 0xA5, 0x48, 0x80};
  const Bytes psFlagClear = {0x13, 0x88, 0x56, 0xE5, 0xA5, 0x48, 0x00};

  const auto plain = audioStreamDescription(aac(core));
  EXPECT_EQ(plain->formatID, platform::kAudioFormatMPEG4AAC);
  EXPECT_EQ(plain->sampleRate, 22050.0);

  const auto sbr = aac(sbrOnly);
  EXPECT_EQ(sbr.sbrPresent, 1);
  EXPECT_EQ(sbr.extensionSamplingFrequencyIndex, 4U);
  EXPECT_EQ(sbr.psPresent, 0);
  EXPECT_EQ(audioStreamDescription(sbr)->formatID, platform::kAudioFormatMPEG4AAC) << "SBR alone stays at the core";
  EXPECT_EQ(audioStreamDescription(sbr)->sampleRate, 22050.0);

  const auto v2 = audioStreamDescription(aac(sbrAndPs));
  EXPECT_EQ(v2->formatID, platform::kAudioFormatMPEG4AAC_HE_V2);
  EXPECT_EQ(v2->channelsPerFrame, 2U);
  EXPECT_EQ(v2->framesPerPacket, 2048U);
  EXPECT_EQ(v2->sampleRate, 44100.0);

  EXPECT_EQ(aac(psFlagClear).psPresent, 0) << "the PS sync word without its flag";
}

// HE-AAC signalled explicitly (object type 5, or 29 with PS, first): the
// output rate follows the core's channels, and the stream is described at
// it, as ffprobe reports it, not at the core's half rate.
TEST(QNVMp4CodecConfigurationTest, ExplicitHeAacIsDescribedAtItsOutputRate) {
  struct Case {
    const char* name;
    Bytes config;
    platform::FourCharCode format;
    double rate;
    uint32_t channels;
    uint32_t objectType;
  };
  // 5 bits type, 4 core rate, 4 channels, 4 output rate, 5 core type, GA.
  // 24000 Hz (6) to 48000 Hz (3), stereo, core AAC-LC (2):
  //   00101 0110 0010 0011 00010 000 -> 0x2B 0x11 0x88 0x00
  const Case cases[] = {
      {"SBR, 24 to 48 kHz stereo", {0x2B, 0x11, 0x88, 0x00}, platform::kAudioFormatMPEG4AAC_HE, 48000.0, 2, 5},
      // 11101 0111 0001 0100 00010 000: 22050 Hz (7) mono to 44100 Hz (4)
      {"PS, 22.05 to 44.1 kHz mono core", {0xEB, 0x8A, 0x08, 0x00}, platform::kAudioFormatMPEG4AAC_HE_V2, 44100.0,
       2, 29},
  };
  for (const Case& entry : cases) {
    SCOPED_TRACE(entry.name);
    const auto description = aac(entry.config);
    EXPECT_EQ(description.objectType, entry.objectType);
    EXPECT_EQ(description.sbrPresent, 1);
    const auto stream = audioStreamDescription(description);
    ASSERT_TRUE(stream.has_value());
    EXPECT_EQ(stream->formatID, entry.format);
    EXPECT_EQ(stream->sampleRate, entry.rate);
    EXPECT_EQ(stream->channelsPerFrame, entry.channels);
    EXPECT_EQ(stream->framesPerPacket, 2048U);
  }
}

TEST(QNVMp4CodecConfigurationTest, RefusedAudioConfigurations) {
  // Index 13 and 15 (0x0680 and 0x0780 carry them), and the escape object
  // type 31.
  for (const Bytes& config : {Bytes{0x16, 0x90}, Bytes{0x17, 0x90}, Bytes{0xF9, 0x10}}) {
    EXPECT_FALSE(audioStreamDescription(aac(config)).has_value());
  }
  const auto notAudio = aac({0x12, 0x10}, 0, 0x6B);
  EXPECT_EQ(notAudio.isMpeg4Audio, 0);
  EXPECT_EQ(notAudio.objectType, 0U);
  EXPECT_EQ(QNVAudioFormatHelper::sampleRateForIndex(3), 48000.0);
  EXPECT_EQ(QNVAudioFormatHelper::sampleRateForIndex(12), 7350.0);
  EXPECT_FALSE(QNVAudioFormatHelper::sampleRateForIndex(13).has_value());
}

TEST(QNVMp4CodecConfigurationTest, OpusMappingFamilies) {
  QNVMP4SampleDescription stereo;
  ASSERT_TRUE(read(stsd({testing::opusEntry(2, 312, 0, 0)}), stereo));
  EXPECT_EQ(stereo.codingName, platform::fourCharCode("Opus"));
  EXPECT_EQ(stereo.isMpeg4Audio, 1);
  EXPECT_EQ(stereo.channelConfiguration, 2U);
  EXPECT_EQ(stereo.preSkip, 312U);

  QNVMP4SampleDescription family1;
  ASSERT_TRUE(read(stsd({testing::opusEntry(6, 312, 0, 1, {0, 4, 1, 2, 3, 5})}), family1));
  EXPECT_EQ(family1.hasChannelMapping, 0);

  QNVMP4SampleDescription family255;
  ASSERT_TRUE(read(stsd({testing::opusEntry(6, 100, 7, 255, {5, 4, 3, 2, 1, 0})}), family255));
  EXPECT_EQ(family255.hasChannelMapping, 1);
  const platform::Dictionary header = opusHeaderDictionary(family255);
  ASSERT_NE(header.find("channelMapping"), nullptr);
  EXPECT_EQ(header.find("channelMapping")->asData(), (Bytes{5, 4, 3, 2, 1, 0, 0, 0, 0, 0}));
  EXPECT_EQ(header.find("preSkip")->asInteger(), 100);
  EXPECT_EQ(header.find("outputGain")->asInteger(), 7);
  EXPECT_TRUE(header.find("hasChannelMapping")->asBool());
  EXPECT_TRUE(opusHeaderDictionary(family1).find("channelMapping")->asData().empty());

  // Family 255 whose mapping table is cut off by the end of the entry.
  QNVMP4SampleDescription cut;
  Bytes entry = testing::opusEntry(6, 100, 7, 255, {5, 4});
  EXPECT_FALSE(read(stsd({entry}), cut));
}

TEST(QNVMp4CodecConfigurationTest, MalformedCodecBoxesAreRefused) {
  Bytes avcCLengthsPastEnd = testing::avc1Entry({kSps}, {kPps});
  avcCLengthsPastEnd[avcCLengthsPastEnd.size() - kPps.size() - 2] = 0xFF;  // PPS length 0xFF..
  Bytes esdsAbsurdLength = testing::esdsBox({0x12, 0x10});
  esdsAbsurdLength[16] = 0xA2;  // a length whose fourth byte still asks for a fifth
  Bytes esdsCut = testing::esdsBox({0x12, 0x10});
  esdsCut.resize(30);
  esdsCut[3] = 30;
  Bytes codecBoxOfSizeZero = testing::avc1Entry({kSps}, {kPps});
  codecBoxOfSizeZero[86 + 3] = 0;  // the avcC's size, right after the 86-byte visual entry
  const Bytes cases[] = {
      stsd({avcCLengthsPastEnd}),
      stsd({testing::mp4aEntry(esdsAbsurdLength)}),
      stsd({testing::mp4aEntry(esdsCut)}),
      stsd({codecBoxOfSizeZero}),
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    QNVMP4SampleDescription description;
    EXPECT_FALSE(read(cases[i], description)) << i;
  }
}

}  // namespace
}  // namespace plexora
