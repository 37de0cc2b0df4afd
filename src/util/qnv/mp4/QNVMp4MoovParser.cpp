#include "util/qnv/mp4/QNVMp4Parser.h"

#include "util/OVAdLogger.h"
#include "util/qnv/mp4/QNVMp4BoxReading.h"
#include "util/qnv/mp4/QNVMp4CodecConfiguration.h"
#include "util/qnv/mp4/QNVMp4TopLevelBox.h"

namespace plexora {

namespace {

constexpr const char* kCouldNotReadFullMoov = "Could not read full moov atom of length:%u";
constexpr const char* kFailedToFindMoov = "Failed to find moov atom";

// A constant-size stsz may name more samples than any real track holds (15
// hours at 300 samples a second); beyond this the walk would spend minutes
// over a few bytes of input.
constexpr uint32_t kMaxConstantSizeSamples = 1U << 24;

constexpr uint32_t kMoov = fourCharCode("moov");
constexpr uint32_t kMvhd = fourCharCode("mvhd");
constexpr uint32_t kMvex = fourCharCode("mvex");
constexpr uint32_t kMehd = fourCharCode("mehd");
constexpr uint32_t kTrex = fourCharCode("trex");
constexpr uint32_t kTrak = fourCharCode("trak");
constexpr uint32_t kMdia = fourCharCode("mdia");
constexpr uint32_t kMinf = fourCharCode("minf");
constexpr uint32_t kStbl = fourCharCode("stbl");
constexpr uint32_t kEdts = fourCharCode("edts");
constexpr uint32_t kMdhd = fourCharCode("mdhd");
constexpr uint32_t kHdlr = fourCharCode("hdlr");
constexpr uint32_t kStts = fourCharCode("stts");
constexpr uint32_t kCtts = fourCharCode("ctts");
constexpr uint32_t kStsc = fourCharCode("stsc");
constexpr uint32_t kStco = fourCharCode("stco");
constexpr uint32_t kCo64 = fourCharCode("co64");
constexpr uint32_t kStss = fourCharCode("stss");
constexpr uint32_t kStsz = fourCharCode("stsz");
constexpr uint32_t kElst = fourCharCode("elst");
constexpr uint32_t kStsd = fourCharCode("stsd");
constexpr uint32_t kUuid = fourCharCode("uuid");

// The containers of a track nest three deep (mdia, minf, stbl); a file that
// nests them deeper is not one to follow down the stack.
constexpr unsigned kMaxTrackNesting = 8;

// Full-box tables: version at byte 8, entry count at 12, entries from 16.
constexpr uint64_t kTableCountOffset = 12;
constexpr uint64_t kTableEntriesOffset = 16;

uint8_t versionOf(const QNVByteReader& box) {
  uint8_t version = 0;
  return box.readU8(kQNVMp4BoxHeaderSize, version) ? version : 0;
}

// Reads `count` entries of `entrySize` bytes after the table's count, each
// through read(entryBytes, entry), once the count is known to fit: the whole
// table is checked once, so each entry reads its bytes directly.
template <typename Entry, typename Read>
[[nodiscard]] bool readTable(const QNVByteReader& box, uint64_t entrySize, std::vector<Entry>& out, Read&& read) {
  uint32_t count = 0;
  QNV_MP4_CHECK(box.readU32(kTableCountOffset, count));
  QNV_MP4_CHECK(qnvMp4EntriesFit(box, kTableEntriesOffset, count, entrySize));
  const uint8_t* entry = box.bytesAt(kTableEntriesOffset, count * entrySize);
  QNV_MP4_CHECK(entry != nullptr);
  out.resize(count);
  for (uint32_t i = 0; i < count; ++i, entry += entrySize) read(entry, out[i]);
  return true;
}

template <typename Value>
Value load(const uint8_t* bytes) {
  return loadQNVBigEndian<Value>(bytes);
}

[[nodiscard]] bool readMvhd(const QNVByteReader& box, QNVMP4MvhdAtom& out) {
  if (versionOf(box) == 1) {
    return box.readU32(28, out.timescale) && box.readU64(32, out.duration);
  }
  uint32_t duration = 0;
  QNV_MP4_CHECK(box.readU32(20, out.timescale) && box.readU32(24, duration));
  out.duration = duration;
  return true;
}

[[nodiscard]] bool readMdhd(const QNVByteReader& box, QNVMP4TrakAtom& trak) {
  return box.readU32(versionOf(box) == 1 ? 28 : 20, trak.mediaTimescale);
}

[[nodiscard]] bool readHdlr(const QNVByteReader& box, QNVMP4TrakAtom& trak) {
  const uint8_t* type = box.bytesAt(16, 4);
  QNV_MP4_CHECK(type != nullptr);
  for (size_t i = 0; i < 4; ++i) trak.handlerType[i] = static_cast<char>(type[i]);
  trak.handlerType[4] = '\0';
  return true;
}

[[nodiscard]] bool readStsz(const QNVByteReader& box, QNVMP4SampleSizes& out) {
  uint32_t constantSize = 0;
  uint32_t count = 0;
  QNV_MP4_CHECK(box.readU32(12, constantSize) && box.readU32(16, count));
  out = {};
  if (constantSize != 0) {
    QNV_MP4_CHECK(count <= kMaxConstantSizeSamples);
    out.constantSize = constantSize;
    out.constantCount = count;
    return true;
  }
  constexpr uint64_t kSizesOffset = 20;
  QNV_MP4_CHECK(qnvMp4EntriesFit(box, kSizesOffset, count, 4));
  const uint8_t* sizes = box.bytesAt(kSizesOffset, 4 * uint64_t{count});
  QNV_MP4_CHECK(sizes != nullptr);
  out.sizes.resize(count);
  for (uint32_t i = 0; i < count; ++i) out.sizes[i] = load<uint32_t>(sizes + 4 * uint64_t{i});
  return true;
}

[[nodiscard]] bool readElst(const QNVByteReader& box, std::vector<QNVMP4EditListEntry>& out) {
  if (versionOf(box) == 1) {
    return readTable(box, 20, out, [](const uint8_t* entry, QNVMP4EditListEntry& edit) {
      edit.segmentDuration = load<uint64_t>(entry);
      edit.mediaTime = static_cast<int64_t>(load<uint64_t>(entry + 8));
      edit.mediaRate = static_cast<int32_t>(load<uint32_t>(entry + 16));
    });
  }
  return readTable(box, 12, out, [](const uint8_t* entry, QNVMP4EditListEntry& edit) {
    edit.segmentDuration = load<uint32_t>(entry);
    edit.mediaTime = static_cast<int32_t>(load<uint32_t>(entry + 4));
    edit.mediaRate = static_cast<int32_t>(load<uint32_t>(entry + 8));
  });
}

[[nodiscard]] bool readU32Table(const QNVByteReader& box, std::vector<uint32_t>& out) {
  return readTable(box, 4, out, [](const uint8_t* entry, uint32_t& value) { value = load<uint32_t>(entry); });
}

[[nodiscard]] bool readChunkOffsets(const QNVByteReader& box, bool wide, std::vector<uint64_t>& out) {
  return readTable(box, wide ? 8 : 4, out, [wide](const uint8_t* entry, uint64_t& offset) {
    offset = wide ? load<uint64_t>(entry) : load<uint32_t>(entry);
  });
}

[[nodiscard]] bool readUuid(const QNVByteReader& box, const QNVMp4BoxHeader& header, QNVMP4TrakAtom& trak) {
  constexpr uint64_t kUuidSize = 16;
  const uint8_t* uuid = box.bytesAt(header.headerSize, kUuidSize);
  QNV_MP4_CHECK(uuid != nullptr);
  const uint64_t payloadOffset = header.headerSize + kUuidSize;
  const uint8_t* payload = box.bytesAt(payloadOffset, header.size - payloadOffset);
  QNV_MP4_CHECK(payload != nullptr);
  QNVMP4UuidAtom atom;
  std::copy(uuid, uuid + kUuidSize, atom.uuid.begin());
  atom.payload.assign(payload, payload + (header.size - payloadOffset));
  trak.uuidAtoms.push_back(std::move(atom));
  return true;
}

// The boxes of one track at any depth: containers are entered, leaves read,
// everything else passed over. `parent` is the type of the box that holds
// this one (trak for the track's own children).
[[nodiscard]] bool readTrackBox(const QNVMp4BoxHeader& header, const QNVByteReader& box, QNVMP4TrakAtom& trak,
                                unsigned depth, uint32_t parent) {
  switch (header.type) {
    case kMdia:
    case kMinf:
    case kStbl:
    case kEdts:
      QNV_MP4_CHECK(depth < kMaxTrackNesting);
      return forEachQNVMp4ChildBox(box, header.headerSize,
                                   [&trak, depth, &header](const QNVMp4BoxHeader& child,
                                                           const QNVByteReader& childBox) {
                                     return readTrackBox(child, childBox, trak, depth + 1, header.type);
                                   });
    case kMdhd:
      return readMdhd(box, trak);
    case kHdlr:
      // Only the media handler names the track's kind: QuickTime-style files
      // carry a data handler ('alis', 'url ') inside minf as well.
      return parent == kMdia ? readHdlr(box, trak) : true;
    case kStts:
      return readTable(box, 8, trak.timeToSample, [](const uint8_t* entry, QNVMP4TimeToSampleEntry& out) {
        out = {load<uint32_t>(entry), load<uint32_t>(entry + 4)};
      });
    case kCtts: {
      const bool isSigned = versionOf(box) == 1;
      return readTable(box, 8, trak.compositionOffsets, [isSigned](const uint8_t* entry, QNVMP4CompositionOffsetEntry& out) {
        const uint32_t offset = load<uint32_t>(entry + 4);
        out = {load<uint32_t>(entry), isSigned ? int64_t{static_cast<int32_t>(offset)} : int64_t{offset}};
      });
    }
    case kStsc:
      return readTable(box, 12, trak.sampleToChunk, [](const uint8_t* entry, QNVMP4SampleToChunkEntry& out) {
        out = {load<uint32_t>(entry), load<uint32_t>(entry + 4), load<uint32_t>(entry + 8)};
      });
    case kStco:
      return readChunkOffsets(box, false, trak.chunkOffsets);
    case kCo64:
      return readChunkOffsets(box, true, trak.chunkOffsets);
    case kStss:
      return readU32Table(box, trak.syncSamples);
    case kStsz:
      return readStsz(box, trak.sampleSizes);
    case kElst:
      return readElst(box, trak.editList);
    case kStsd:
      return readQNVMp4SampleDescriptionBox(box, trak.sampleDescription);
    case kUuid:
      return readUuid(box, header, trak);
    default:
      return true;
  }
}

[[nodiscard]] bool readMvex(const QNVByteReader& box, const QNVMp4BoxHeader& header, QNVMP4MvexAtom& mvex) {
  return forEachQNVMp4ChildBox(box, header.headerSize, [&mvex](const QNVMp4BoxHeader& child, const QNVByteReader& childBox) {
    if (child.type == kTrex) {
      QNVMP4TrexAtom trex;
      QNV_MP4_CHECK(childBox.readU32(12, trex.trackId) && childBox.readU32(16, trex.defaultSampleDescriptionIndex) &&
                    childBox.readU32(20, trex.defaultSampleDuration) && childBox.readU32(24, trex.defaultSampleSize) &&
                    childBox.readU32(28, trex.defaultSampleFlags));
      mvex.trexAtoms.push_back(trex);
    } else if (child.type == kMehd) {
      if (versionOf(childBox) == 1) {
        uint64_t duration = 0;
        QNV_MP4_CHECK(childBox.readU64(12, duration));
        mvex.mehdAtom.duration = static_cast<int64_t>(duration);
      } else {
        uint32_t duration = 0;
        QNV_MP4_CHECK(childBox.readU32(12, duration));
        mvex.mehdAtom.duration = static_cast<int32_t>(duration);
      }
    }
    return true;
  });
}

[[nodiscard]] bool readMoov(const QNVByteReader& box, const QNVMp4BoxHeader& header, QNVMP4MoovAtom& moov) {
  return forEachQNVMp4ChildBox(box, header.headerSize, [&moov](const QNVMp4BoxHeader& child, const QNVByteReader& childBox) {
    switch (child.type) {
      case kMvhd:
        return readMvhd(childBox, moov.mvhdAtom);
      case kMvex:
        return readMvex(childBox, child, moov.mvexAtom);
      case kTrak: {
        QNVMP4TrakAtom trak;
        QNV_MP4_CHECK(forEachQNVMp4ChildBox(childBox, child.headerSize,
                                            [&trak](const QNVMp4BoxHeader& trackChild, const QNVByteReader& trackBox) {
                                              return readTrackBox(trackChild, trackBox, trak, 0, kTrak);
                                            }));
        moov.trakAtoms.push_back(std::move(trak));
        return true;
      }
      default:
        return true;
    }
  });
}

}  // namespace

QNVMp4ParseResult parseMoovAtom(QNVMP4MoovAtomProvider& provider, QNVMp4StreamingReader& reader) {
  provider.moovAtom = {};
  QNVMp4BoxHeader header;
  uint64_t skipped = 0;
  switch (findQNVMp4TopLevelBox(reader, kMoov, header, skipped)) {
    case QNVMp4BoxSearch::kNeedMoreData:
      OV_LOG(kOVAdLogLevelDebug, "%s", kFailedToFindMoov);
      return kQNVMp4ParseNeedMoreData;
    case QNVMp4BoxSearch::kMalformed:
      return kQNVMp4ParseError;
    case QNVMp4BoxSearch::kFound:
      break;
  }
  provider.moovAtomSize = header.size;
  const uint8_t* bytes = header.size <= INT64_MAX ? reader.bytesAtHead(static_cast<int64_t>(header.size)) : nullptr;
  if (bytes == nullptr) {
    OV_LOG(kOVAdLogLevelDebug, kCouldNotReadFullMoov, static_cast<unsigned>(header.size));
    return kQNVMp4ParseNeedMoreData;
  }
  QNVMP4MoovAtom moov;
  if (!readMoov(QNVByteReader(bytes, bytes + header.size), header, moov)) {
    OV_LOG(kOVAdLogLevelDebug, "%s", kQNVMp4ReadFailure);
    return kQNVMp4ParseError;
  }
  provider.moovAtom = std::move(moov);
  return kQNVMp4ParseDone;
}

}  // namespace plexora
