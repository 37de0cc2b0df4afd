// Hand-built movie boxes: a description of each track's tables in, the bytes
// of a moov box out, written with whichever box versions the test asks for.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "util/qnv/mp4/Mp4BoxWriter.h"

namespace plexora::testing {

struct EditSpec {
  uint64_t segmentDuration = 0;
  int64_t mediaTime = 0;
};

struct TrackSpec {
  std::string handler = "vide";
  // The track header's id; 0 leaves the header blank.
  uint32_t trackId = 0;
  uint32_t mediaTimescale = 1000;
  uint8_t mdhdVersion = 0;
  std::vector<uint32_t> sizes;
  // Non-zero: stsz with one size for constantCount samples instead of sizes.
  uint32_t constantSize = 0;
  uint32_t constantCount = 0;
  std::vector<std::array<uint32_t, 2>> stts;
  std::vector<std::array<uint32_t, 3>> stsc = {{1, 1, 1}};
  std::vector<uint64_t> chunkOffsets;
  bool co64 = false;
  // {count, offset}; the offset is written as 32 bits.
  std::vector<std::pair<uint32_t, int32_t>> ctts;
  uint8_t cttsVersion = 0;
  std::vector<uint32_t> stss;
  std::vector<EditSpec> edits;
  uint8_t elstVersion = 0;
  // Whole sample entry boxes for the stsd (none: an empty stsd).
  std::vector<Bytes> sampleEntries;
};

struct MovieSpec {
  uint32_t timescale = 1000;
  uint64_t duration = 0;
  uint8_t mvhdVersion = 0;
  std::vector<TrackSpec> tracks;
  // trex track ids; written in an mvex before the tracks, or after them.
  std::vector<uint32_t> trexTrackIds;
  bool mvexAfterTracks = false;
  // A moov with a 64-bit size field.
  bool largeMoov = false;
};

Bytes moovBox(const MovieSpec& movie);
Bytes trakBox(const TrackSpec& track);

// Sample entries.
Bytes avc1Entry(const std::vector<Bytes>& sps, const std::vector<Bytes>& pps, uint8_t lengthSizeByte = 0xFF);
Bytes mp4aEntry(const Bytes& esdsBox);
// An esds box around an AudioSpecificConfig; esFlags adds the optional fields
// of the ES descriptor (dependence 0x80, URL 0x40, OCR 0x20).
Bytes esdsBox(const Bytes& audioSpecificConfig, uint8_t objectTypeIndication = 0x40, uint8_t esFlags = 0);
Bytes opusEntry(uint16_t channelCount, uint16_t preSkip, uint16_t outputGain, uint8_t mappingFamily,
                const Bytes& mapping = {});

}  // namespace plexora::testing
