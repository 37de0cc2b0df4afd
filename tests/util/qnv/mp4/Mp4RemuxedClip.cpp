#include "util/qnv/mp4/Mp4RemuxedClip.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string_view>

#include "util/qnv/asset/QNVLocalMp4Reader.h"
#include "util/qnv/mp4/Mp4MovieFixtures.h"

namespace plexora::testing {

namespace {

constexpr uint32_t kMovieTimescale = 1000;
// Sample flags: a sync sample depends on no other; any other sample does
// and is not a sync sample.
constexpr uint32_t kSyncSampleFlags = 0x02000000;
constexpr uint32_t kNonSyncSampleFlags = 0x01010000;
// tfhd: the data offsets count from the moof.
constexpr uint32_t kDefaultBaseIsMoof = 0x020000;
// trun: a data offset, and per sample its duration, size, flags and
// composition offset.
constexpr uint32_t kTrunFields = 0xF01;

uint32_t readU32(const Bytes& bytes, size_t at) {
  return (uint32_t{bytes[at]} << 24) | (uint32_t{bytes[at + 1]} << 16) | (uint32_t{bytes[at + 2]} << 8) |
         bytes[at + 3];
}

void writeU32(Bytes& bytes, size_t at, uint32_t value) {
  for (size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

struct BoxExtent {
  size_t payload = 0;
  size_t end = 0;
};

// The boxes of `type` among those in [begin, end); 32-bit sizes only.
std::vector<BoxExtent> childBoxes(const Bytes& bytes, size_t begin, size_t end, std::string_view type) {
  std::vector<BoxExtent> found;
  for (size_t at = begin; at + 8 <= end;) {
    const size_t size = readU32(bytes, at);
    if (size < 8 || at + size > end) break;
    if (std::string_view(reinterpret_cast<const char*>(&bytes[at + 4]), 4) == type) found.push_back({at + 8, at + size});
    at += size;
  }
  return found;
}

// The sample entries of the clip's track, as stored.
Bytes sampleEntriesOf(const Bytes& file, size_t track) {
  const auto moov = childBoxes(file, 0, file.size(), "moov");
  EXPECT_EQ(moov.size(), 1U);
  if (moov.empty()) return {};
  const auto traks = childBoxes(file, moov[0].payload, moov[0].end, "trak");
  EXPECT_LT(track, traks.size());
  if (track >= traks.size()) return {};
  BoxExtent box = traks[track];
  for (const char* type : {"mdia", "minf", "stbl", "stsd"}) {
    const auto found = childBoxes(file, box.payload, box.end, type);
    EXPECT_FALSE(found.empty()) << type;
    if (found.empty()) return {};
    box = found[0];
  }
  // After the stsd's version, flags and entry count.
  return {file.begin() + static_cast<ptrdiff_t>(box.payload + 8), file.begin() + static_cast<ptrdiff_t>(box.end)};
}

// 'encv' around the entry's own format, as an encrypting packager writes it.
Bytes encryptedEntry(Bytes entry) {
  const std::string_view original(reinterpret_cast<const char*>(&entry[4]), 4);
  Mp4BoxWriter sinf;
  sinf.open("sinf").open("frma").type(original).close();
  sinf.openFull("schm", 0).type("cenc").u32(0x10000).close();
  sinf.open("schi").openFull("tenc", 0).u8(0).u8(0).u8(1).u8(8).zeros(16).close().close();
  sinf.close();
  entry.insert(entry.end(), sinf.bytes().begin(), sinf.bytes().end());
  writeU32(entry, 0, static_cast<uint32_t>(entry.size()));
  std::copy_n("encv", 4, entry.begin() + 4);
  return entry;
}

Bytes sampleBytes(const Bytes& file, const QNVMp4FrameRecord& frame) {
  EXPECT_LE(frame.offset + frame.size, file.size());
  return {file.begin() + static_cast<ptrdiff_t>(frame.offset),
          file.begin() + static_cast<ptrdiff_t>(frame.offset + frame.size)};
}

uint32_t compositionOffset(const QNVMp4FrameRecord& frame) { return static_cast<uint32_t>(frame.pts - frame.dts); }

Bytes ftypBox() {
  Mp4BoxWriter w;
  w.open("ftyp").type("isom").u32(0x200).type("isom").type("iso2").type("avc1").type("mp41").close();
  return w.take();
}

void writeMvhd(Mp4BoxWriter& w, uint64_t durationMs, uint32_t nextTrackId) {
  w.openFull("mvhd", 0).u32(0).u32(0).u32(kMovieTimescale).u32(static_cast<uint32_t>(durationMs));
  w.u32(0x10000).u16(0x100).zeros(10);
  for (uint32_t entry : {0x10000U, 0U, 0U, 0U, 0x10000U, 0U, 0U, 0U, 0x40000000U}) w.u32(entry);
  w.zeros(24).u32(nextTrackId).close();
}

struct Layout {
  const Bytes& file;
  const std::vector<const QNVLocalMp4Track*>& tracks;
  const Mp4RemuxPlan& plan;

  size_t kept(size_t track) const {
    return std::min(track < plan.samplesInMovieBox.size() ? plan.samplesInMovieBox[track] : 0,
                    tracks[track]->frames.size());
  }

  // The movie box, its samples' chunks from `mediaStart` on, track after
  // track.
  Bytes moov(uint64_t mediaStart) const {
    uint64_t keptDurationMs = 0;
    Mp4BoxWriter w;
    w.open("moov");
    std::vector<TrackSpec> movieTracks;
    uint64_t offset = mediaStart;
    for (size_t t = 0; t < tracks.size(); ++t) {
      const QNVLocalMp4Track& track = *tracks[t];
      TrackSpec movieTrack;
      movieTrack.handler = track.mediaType == QNVMediaType::Audio ? "soun" : "vide";
      movieTrack.trackId = static_cast<uint32_t>(t + 1);
      movieTrack.mediaTimescale = track.timescale;
      Bytes entry = sampleEntriesOf(file, t);
      if (plan.encryptedVideo && track.mediaType == QNVMediaType::Video) entry = encryptedEntry(std::move(entry));
      movieTrack.sampleEntries = {entry};
      const size_t count = kept(t);
      if (count == 0) movieTrack.stsc.clear();
      bool allSync = true;
      bool reordered = false;
      uint64_t duration = 0;
      for (size_t i = 0; i < count; ++i) {
        const QNVMp4FrameRecord& frame = track.frames[i];
        movieTrack.sizes.push_back(frame.size);
        movieTrack.stts.push_back({1, static_cast<uint32_t>(frame.duration)});
        movieTrack.chunkOffsets.push_back(offset);
        movieTrack.ctts.emplace_back(1, static_cast<int32_t>(compositionOffset(frame)));
        reordered = reordered || compositionOffset(frame) != 0;
        if (track.sync[i]) movieTrack.stss.push_back(static_cast<uint32_t>(i + 1));
        allSync = allSync && track.sync[i];
        offset += frame.size;
        duration += frame.duration;
      }
      if (allSync) movieTrack.stss.clear();
      if (!reordered) movieTrack.ctts.clear();
      if (track.timescale > 0) keptDurationMs = std::max(keptDurationMs, duration * kMovieTimescale / track.timescale);
      movieTracks.push_back(std::move(movieTrack));
    }
    writeMvhd(w, plan.movieDurationMs.value_or(keptDurationMs), static_cast<uint32_t>(tracks.size() + 1));
    for (const TrackSpec& movieTrack : movieTracks) w.raw(trakBox(movieTrack));
    if (plan.fragmented || !plan.fragments.empty()) {
      w.open("mvex");
      for (size_t t = 0; t < tracks.size(); ++t) {
        w.openFull("trex", 0).u32(static_cast<uint32_t>(t + 1)).u32(1).u32(0).u32(0).u32(0).close();
      }
      w.close();
    }
    w.close();
    return w.take();
  }

  Bytes movieBoxMedia() const {
    Bytes media;
    for (size_t t = 0; t < tracks.size(); ++t) {
      for (size_t i = 0; i < kept(t); ++i) {
        const Bytes sample = sampleBytes(file, tracks[t]->frames[i]);
        media.insert(media.end(), sample.begin(), sample.end());
      }
    }
    return media;
  }

  // A moof and its mdat.
  Bytes fragment(uint32_t sequenceNumber, std::vector<Mp4FragmentRun> runs) const {
    for (Mp4FragmentRun& run : runs) run.end = std::min(run.end, tracks.at(run.track)->frames.size());
    Bytes media;
    std::vector<size_t> runStarts;
    for (const Mp4FragmentRun& run : runs) {
      runStarts.push_back(media.size());
      for (size_t i = run.begin; i < run.end; ++i) {
        const Bytes sample = sampleBytes(file, tracks.at(run.track)->frames.at(i));
        media.insert(media.end(), sample.begin(), sample.end());
      }
    }
    const auto moofWithSize = [&](size_t moofSize) {
      Mp4BoxWriter w;
      w.open("moof").openFull("mfhd", 0).u32(sequenceNumber).close();
      for (size_t r = 0; r < runs.size(); ++r) {
        const Mp4FragmentRun& run = runs[r];
        const QNVLocalMp4Track& track = *tracks.at(run.track);
        w.open("traf").openFull("tfhd", 0, kDefaultBaseIsMoof).u32(static_cast<uint32_t>(run.track + 1)).close();
        const uint64_t shift = uint64_t{plan.fragmentTimeOffsetSeconds} * track.timescale;
        w.openFull("tfdt", 1).u64(track.frames.at(run.begin).dts + shift).close();
        w.openFull("trun", 0, kTrunFields).u32(static_cast<uint32_t>(run.end - run.begin));
        w.u32(static_cast<uint32_t>(moofSize + 8 + runStarts[r]));
        for (size_t i = run.begin; i < run.end; ++i) {
          const QNVMp4FrameRecord& frame = track.frames[i];
          w.u32(static_cast<uint32_t>(frame.duration)).u32(frame.size);
          w.u32(track.sync[i] ? kSyncSampleFlags : kNonSyncSampleFlags).u32(compositionOffset(frame));
        }
        w.close().close();
      }
      w.close();
      return w.take();
    };
    return concat({moofWithSize(moofWithSize(0).size()), mp4Box("mdat", media)});
  }
};

}  // namespace

Bytes remuxedMp4(const std::string& clipPath, const Mp4RemuxPlan& plan) {
  std::ifstream in(clipPath, std::ios::binary);
  const Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto movie = QNVLocalMp4Movie::open(clipPath);
  std::vector<const QNVLocalMp4Track*> tracks = movie->tracksWithMediaType(QNVMediaType::Video);
  for (const QNVLocalMp4Track* audio : movie->tracksWithMediaType(QNVMediaType::Audio)) tracks.push_back(audio);
  const Layout layout{file, tracks, plan};

  const Bytes ftyp = ftypBox();
  // The chunk offsets are 32-bit fields: the movie box's size does not
  // depend on them.
  const uint64_t mediaStart = ftyp.size() + layout.moov(0).size() + 8;
  Bytes out = concat({ftyp, layout.moov(mediaStart), mp4Box("mdat", layout.movieBoxMedia())});
  for (size_t k = 0; k < plan.fragments.size(); ++k) {
    const Bytes fragment = layout.fragment(static_cast<uint32_t>(k + 1), plan.fragments[k]);
    out.insert(out.end(), fragment.begin(), fragment.end());
  }
  return out;
}

std::string writtenMp4(const std::string& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return path;
}

}  // namespace plexora::testing
