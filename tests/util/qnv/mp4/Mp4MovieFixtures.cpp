#include "util/qnv/mp4/Mp4MovieFixtures.h"

namespace plexora::testing {

namespace {

void writeTables(Mp4BoxWriter& w, const TrackSpec& track) {
  w.openFull("stsd", 0).u32(static_cast<uint32_t>(track.sampleEntries.size()));
  for (const Bytes& entry : track.sampleEntries) w.raw(entry);
  w.close();

  w.openFull("stts", 0).u32(static_cast<uint32_t>(track.stts.size()));
  for (const auto& [count, delta] : track.stts) w.u32(count).u32(delta);
  w.close();

  if (!track.ctts.empty()) {
    w.openFull("ctts", track.cttsVersion).u32(static_cast<uint32_t>(track.ctts.size()));
    for (const auto& [count, offset] : track.ctts) w.u32(count).u32(static_cast<uint32_t>(offset));
    w.close();
  }

  w.openFull("stsc", 0).u32(static_cast<uint32_t>(track.stsc.size()));
  for (const auto& entry : track.stsc) w.u32(entry[0]).u32(entry[1]).u32(entry[2]);
  w.close();

  if (track.constantSize != 0) {
    w.openFull("stsz", 0).u32(track.constantSize).u32(track.constantCount).close();
  } else {
    w.openFull("stsz", 0).u32(0).u32(static_cast<uint32_t>(track.sizes.size()));
    for (uint32_t size : track.sizes) w.u32(size);
    w.close();
  }

  w.openFull(track.co64 ? "co64" : "stco", 0).u32(static_cast<uint32_t>(track.chunkOffsets.size()));
  for (uint64_t offset : track.chunkOffsets) {
    if (track.co64) {
      w.u64(offset);
    } else {
      w.u32(static_cast<uint32_t>(offset));
    }
  }
  w.close();

  if (!track.stss.empty()) {
    w.openFull("stss", 0).u32(static_cast<uint32_t>(track.stss.size()));
    for (uint32_t number : track.stss) w.u32(number);
    w.close();
  }
}

void writeMvex(Mp4BoxWriter& w, const std::vector<uint32_t>& trackIds) {
  w.open("mvex");
  w.openFull("mehd", 0).u32(5000).close();
  for (uint32_t id : trackIds) w.openFull("trex", 0).u32(id).u32(1).u32(512).u32(100).u32(0x10000).close();
  w.close();
}

}  // namespace

Bytes trakBox(const TrackSpec& track) {
  Mp4BoxWriter w;
  w.open("trak");
  w.openFull("tkhd", 0).zeros(8).u32(track.trackId).zeros(68).close();
  if (!track.edits.empty()) {
    w.open("edts").openFull("elst", track.elstVersion).u32(static_cast<uint32_t>(track.edits.size()));
    for (const auto& edit : track.edits) {
      if (track.elstVersion == 1) {
        w.u64(edit.segmentDuration).u64(static_cast<uint64_t>(edit.mediaTime)).u32(0x10000);
      } else {
        w.u32(static_cast<uint32_t>(edit.segmentDuration)).u32(static_cast<uint32_t>(edit.mediaTime)).u32(0x10000);
      }
    }
    w.close().close();
  }
  w.open("mdia");
  if (track.mdhdVersion == 1) {
    w.openFull("mdhd", 1).u64(1).u64(2).u32(track.mediaTimescale).u64(123456).u32(0).close();
  } else {
    w.openFull("mdhd", 0).u32(1).u32(2).u32(track.mediaTimescale).u32(123456).u32(0).close();
  }
  w.openFull("hdlr", 0).u32(0).type(track.handler).zeros(12).u8(0).close();
  w.open("minf").open("stbl");
  writeTables(w, track);
  w.close().close().close().close();
  return w.take();
}

Bytes moovBox(const MovieSpec& movie) {
  Mp4BoxWriter w;
  w.open("moov", movie.largeMoov);
  if (movie.mvhdVersion == 1) {
    w.openFull("mvhd", 1).u64(1).u64(2).u32(movie.timescale).u64(movie.duration).zeros(80).close();
  } else {
    w.openFull("mvhd", 0).u32(1).u32(2).u32(movie.timescale).u32(static_cast<uint32_t>(movie.duration)).zeros(80).close();
  }
  if (!movie.trexTrackIds.empty() && !movie.mvexAfterTracks) writeMvex(w, movie.trexTrackIds);
  for (const TrackSpec& track : movie.tracks) w.raw(trakBox(track));
  if (!movie.trexTrackIds.empty() && movie.mvexAfterTracks) writeMvex(w, movie.trexTrackIds);
  w.close();
  return w.take();
}

Bytes avc1Entry(const std::vector<Bytes>& sps, const std::vector<Bytes>& pps, uint8_t lengthSizeByte) {
  Mp4BoxWriter w;
  w.open("avc1").zeros(6).u16(1).zeros(16).u16(160).u16(90).zeros(50);
  w.open("avcC").u8(1).u8(66).u8(0).u8(30).u8(lengthSizeByte).u8(static_cast<uint8_t>(0xE0 | sps.size()));
  for (const Bytes& set : sps) w.u16(static_cast<uint16_t>(set.size())).raw(set);
  w.u8(static_cast<uint8_t>(pps.size()));
  for (const Bytes& set : pps) w.u16(static_cast<uint16_t>(set.size())).raw(set);
  w.close().close();
  return w.take();
}

Bytes esdsBox(const Bytes& audioSpecificConfig, uint8_t objectTypeIndication, uint8_t esFlags) {
  Mp4BoxWriter w;
  w.openFull("esds", 0);
  w.u8(0x03).u8(static_cast<uint8_t>(0x80)).u8(0x80).u8(0x80).u8(0x22);  // four-byte length
  w.u16(1).u8(esFlags);
  if ((esFlags & 0x80) != 0) w.u16(7);
  if ((esFlags & 0x40) != 0) w.u8(3).raw(Bytes{'a', 'b', 'c'});
  if ((esFlags & 0x20) != 0) w.u16(9);
  w.u8(0x04).u8(static_cast<uint8_t>(13 + 2 + audioSpecificConfig.size()));
  w.u8(objectTypeIndication).u8(0x15).u24(0).u32(128000).u32(96000);
  w.u8(0x05).u8(static_cast<uint8_t>(audioSpecificConfig.size())).raw(audioSpecificConfig);
  w.u8(0x06).u8(1).u8(2);
  w.close();
  return w.take();
}

Bytes mp4aEntry(const Bytes& esds) {
  Mp4BoxWriter w;
  w.open("mp4a").zeros(6).u16(1).zeros(8).u16(2).u16(16).zeros(4).u32(44100u << 16).raw(esds).close();
  return w.take();
}

Bytes opusEntry(uint16_t channelCount, uint16_t preSkip, uint16_t outputGain, uint8_t mappingFamily,
                const Bytes& mapping) {
  Mp4BoxWriter w;
  w.open("Opus").zeros(6).u16(1).zeros(8).u16(channelCount).u16(16).zeros(4).u32(48000u << 16);
  w.open("dOps").u8(0).u8(static_cast<uint8_t>(channelCount)).u16(preSkip).u32(48000).u16(outputGain).u8(mappingFamily);
  if (mappingFamily != 0) w.u8(1).u8(1).raw(mapping);
  w.close().close();
  return w.take();
}

}  // namespace plexora::testing
