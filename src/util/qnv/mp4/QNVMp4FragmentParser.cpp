#include <bit>

#include "util/OVAdLogger.h"
#include "util/qnv/mp4/QNVMp4BoxReading.h"
#include "util/qnv/mp4/QNVMp4Parser.h"
#include "util/qnv/mp4/QNVMp4TopLevelBox.h"

namespace plexora {

namespace {

constexpr const char* kCouldNotReadFullSidx = "Could not read full sidx atom of length:%u, initialOffset:%llu, offset:%llu";
constexpr const char* kFailedToFindSidx = "Failed to find sidx atom, initialOffset:%llu, offset:%llu";

constexpr uint32_t kMoof = fourCharCode("moof");
constexpr uint32_t kMfhd = fourCharCode("mfhd");
constexpr uint32_t kTraf = fourCharCode("traf");
constexpr uint32_t kTfhd = fourCharCode("tfhd");
constexpr uint32_t kTfdt = fourCharCode("tfdt");
constexpr uint32_t kTrun = fourCharCode("trun");
constexpr uint32_t kSidx = fourCharCode("sidx");

constexpr uint32_t kTfhdBaseDataOffset = 0x1;
constexpr uint32_t kTfhdSampleDescriptionIndex = 0x2;
constexpr uint32_t kTfhdDefaultDuration = 0x8;
constexpr uint32_t kTfhdDefaultSize = 0x10;
constexpr uint32_t kTfhdDefaultFlags = 0x20;

constexpr uint32_t kTrunDataOffset = 0x1;
constexpr uint32_t kTrunFirstSampleFlags = 0x4;
constexpr uint32_t kTrunDuration = 0x100;
constexpr uint32_t kTrunSize = 0x200;
constexpr uint32_t kTrunFlags = 0x400;
constexpr uint32_t kTrunCompositionOffset = 0x800;
constexpr uint32_t kTrunPerSampleFields = kTrunDuration | kTrunSize | kTrunFlags | kTrunCompositionOffset;

// Runs without per-sample fields cost no bytes per sample, so their counts
// are bounded here instead: a fragment is seconds long, and a million samples
// is far beyond any of them.
constexpr uint64_t kMaxSamplesPerMoof = 1U << 20;

constexpr uint32_t kSidxReferenceSizeMask = 0x7FFFFFFF;
constexpr uint64_t kSidxEntrySize = 12;

uint32_t flagsOf(const QNVByteReader& box) {
  uint32_t versionAndFlags = 0;
  return box.readU32(8, versionAndFlags) ? versionAndFlags & 0xFFFFFF : 0;
}

uint8_t versionOf(const QNVByteReader& box) {
  uint8_t version = 0;
  return box.readU8(8, version) ? version : 0;
}

[[nodiscard]] bool readTfhd(const QNVByteReader& box, QNVMP4TrafAtom& traf) {
  const uint32_t flags = flagsOf(box);
  QNVMP4TrafAtom fresh;
  fresh.trunAtoms = std::move(traf.trunAtoms);
  fresh.baseMediaDecodeTime = traf.baseMediaDecodeTime;
  traf = std::move(fresh);
  QNV_MP4_CHECK(box.readU32(12, traf.trackId));
  uint64_t position = 16;
  if ((flags & kTfhdBaseDataOffset) != 0) {
    QNV_MP4_CHECK(box.readU64(position, traf.baseDataOffset));
    position += 8;
  }
  uint32_t* const optional[] = {&traf.sampleDescriptionIndex, &traf.defaultSampleDuration, &traf.defaultSampleSize,
                                &traf.defaultSampleFlags};
  const uint32_t optionalFlags[] = {kTfhdSampleDescriptionIndex, kTfhdDefaultDuration, kTfhdDefaultSize,
                                    kTfhdDefaultFlags};
  for (size_t i = 0; i < 4; ++i) {
    if ((flags & optionalFlags[i]) == 0) continue;
    QNV_MP4_CHECK(box.readU32(position, *optional[i]));
    position += 4;
  }
  return true;
}

[[nodiscard]] bool readTfdt(const QNVByteReader& box, QNVMP4TrafAtom& traf) {
  if (versionOf(box) == 1) return box.readU64(12, traf.baseMediaDecodeTime);
  uint32_t time = 0;
  QNV_MP4_CHECK(box.readU32(12, time));
  traf.baseMediaDecodeTime = time;
  return true;
}

[[nodiscard]] bool readTrun(const QNVByteReader& box, QNVMP4TrunAtom& trun, uint64_t& samplesInMoof) {
  const uint32_t flags = flagsOf(box);
  const bool signedOffsets = versionOf(box) == 1;
  QNV_MP4_CHECK(box.readU32(12, trun.sampleCount));
  uint64_t position = 16;
  if ((flags & kTrunDataOffset) != 0) {
    uint32_t offset = 0;
    QNV_MP4_CHECK(box.readU32(position, offset));
    trun.dataOffset = static_cast<int32_t>(offset);
    trun.hasDataOffset = true;
    position += 4;
  }
  if ((flags & kTrunFirstSampleFlags) != 0) {
    QNV_MP4_CHECK(box.readU32(position, trun.firstSampleFlags));
    position += 4;
  }
  samplesInMoof += trun.sampleCount;
  QNV_MP4_CHECK(samplesInMoof <= kMaxSamplesPerMoof);
  if ((flags & kTrunPerSampleFields) == 0) return true;

  const uint64_t entrySize = 4 * static_cast<uint64_t>(std::popcount(flags & kTrunPerSampleFields));
  QNV_MP4_CHECK(qnvMp4EntriesFit(box, position, trun.sampleCount, entrySize));
  trun.samples.resize(trun.sampleCount);
  for (QNVMP4TrunSample& sample : trun.samples) {
    if ((flags & kTrunDuration) != 0) {
      QNV_MP4_CHECK(box.readU32(position, sample.duration));
      position += 4;
    }
    if ((flags & kTrunSize) != 0) {
      QNV_MP4_CHECK(box.readU32(position, sample.size));
      position += 4;
    }
    if ((flags & kTrunFlags) != 0) {
      QNV_MP4_CHECK(box.readU32(position, sample.flags));
      position += 4;
    }
    if ((flags & kTrunCompositionOffset) != 0) {
      uint32_t offset = 0;
      QNV_MP4_CHECK(box.readU32(position, offset));
      sample.compositionTimeOffset = signedOffsets ? int64_t{static_cast<int32_t>(offset)} : int64_t{offset};
      position += 4;
    }
  }
  return true;
}

[[nodiscard]] bool readTraf(const QNVByteReader& box, const QNVMp4BoxHeader& header, QNVMP4TrafAtom& traf,
                            uint64_t& samplesInMoof) {
  return forEachQNVMp4ChildBox(box, header.headerSize, [&](const QNVMp4BoxHeader& child, const QNVByteReader& childBox) {
    switch (child.type) {
      case kTfhd:
        return readTfhd(childBox, traf);
      case kTfdt:
        return readTfdt(childBox, traf);
      case kTrun: {
        QNVMP4TrunAtom trun;
        QNV_MP4_CHECK(readTrun(childBox, trun, samplesInMoof));
        traf.trunAtoms.push_back(std::move(trun));
        return true;
      }
      default:
        return true;
    }
  });
}

[[nodiscard]] bool readMoof(const QNVByteReader& box, const QNVMp4BoxHeader& header, QNVMP4MoofAtom& moof) {
  uint64_t samplesInMoof = 0;
  return forEachQNVMp4ChildBox(box, header.headerSize, [&](const QNVMp4BoxHeader& child, const QNVByteReader& childBox) {
    if (child.type == kMfhd) return childBox.readU32(12, moof.sequenceNumber);
    if (child.type == kTraf) {
      QNVMP4TrafAtom traf;
      QNV_MP4_CHECK(readTraf(childBox, child, traf, samplesInMoof));
      moof.trafAtoms.push_back(std::move(traf));
    }
    return true;
  });
}

[[nodiscard]] bool readSidx(const QNVByteReader& box, uint64_t boxOffset, uint64_t boxSize, QNVMP4SidxAtom& sidx) {
  const bool wide = versionOf(box) == 1;
  uint64_t earliestPresentationTime = 0;
  uint64_t firstOffset = 0;
  uint16_t referenceCount = 0;
  QNV_MP4_CHECK(box.readU32(16, sidx.timescale));
  if (wide) {
    QNV_MP4_CHECK(box.readU64(20, earliestPresentationTime) && box.readU64(28, firstOffset) &&
                  box.readU16(38, referenceCount));
  } else {
    uint32_t time = 0;
    uint32_t offset = 0;
    QNV_MP4_CHECK(box.readU32(20, time) && box.readU32(24, offset) && box.readU16(30, referenceCount));
    earliestPresentationTime = time;
    firstOffset = offset;
  }
  const uint64_t entries = wide ? 40 : 32;
  QNV_MP4_CHECK(qnvMp4EntriesFit(box, entries, referenceCount, kSidxEntrySize));
  sidx.segments.resize(referenceCount);
  uint64_t offset = boxOffset + boxSize + firstOffset;
  uint64_t startTime = earliestPresentationTime;
  for (uint16_t i = 0; i < referenceCount; ++i) {
    uint32_t reference = 0;
    uint32_t duration = 0;
    QNV_MP4_CHECK(box.readU32(entries + kSidxEntrySize * i, reference) &&
                  box.readU32(entries + kSidxEntrySize * i + 4, duration));
    QNVMP4SidxSegment& segment = sidx.segments[i];
    segment.offset = offset;
    segment.startTime = startTime;
    segment.size = reference & kSidxReferenceSizeMask;
    offset += segment.size;
    startTime += duration;
  }
  return true;
}

}  // namespace

QNVMp4ParseResult parseNextMoofAtom(QNVMP4MoovAtomProvider& provider, QNVMp4StreamingReader& reader,
                                    uint64_t streamOffset) {
  QNVMp4BoxHeader header;
  uint64_t skipped = 0;
  switch (findQNVMp4TopLevelBox(reader, kMoof, header, skipped)) {
    case QNVMp4BoxSearch::kNeedMoreData:
      return kQNVMp4ParseNeedMoreData;
    case QNVMp4BoxSearch::kMalformed:
      return kQNVMp4ParseError;
    case QNVMp4BoxSearch::kFound:
      break;
  }
  const uint8_t* bytes = header.size <= INT64_MAX ? reader.bytesAtHead(static_cast<int64_t>(header.size)) : nullptr;
  if (bytes == nullptr) return kQNVMp4ParseNeedMoreData;
  QNVMP4MoofAtom moof;
  moof.offset = streamOffset + skipped;
  if (!readMoof(QNVByteReader(bytes, bytes + header.size), header, moof)) {
    OV_LOG(kOVAdLogLevelDebug, "%s", kQNVMp4ReadFailure);
    return kQNVMp4ParseError;
  }
  provider.moofAtoms.push_back(std::move(moof));
  reader.moveHead(header.size);
  return kQNVMp4ParseDone;
}

QNVMp4ParseResult parseSidxAtom(QNVMP4MoovAtomProvider& provider, QNVMp4StreamingReader& reader,
                                uint64_t streamOffset) {
  QNVMp4BoxHeader header;
  uint64_t skipped = 0;
  switch (findQNVMp4TopLevelBox(reader, kSidx, header, skipped)) {
    case QNVMp4BoxSearch::kNeedMoreData:
      OV_LOG(kOVAdLogLevelDebug, kFailedToFindSidx, static_cast<unsigned long long>(streamOffset),
             static_cast<unsigned long long>(streamOffset + skipped));
      return kQNVMp4ParseNeedMoreData;
    case QNVMp4BoxSearch::kMalformed:
      return kQNVMp4ParseError;
    case QNVMp4BoxSearch::kFound:
      break;
  }
  const uint64_t boxOffset = streamOffset + skipped;
  const uint8_t* bytes = header.size <= INT64_MAX ? reader.bytesAtHead(static_cast<int64_t>(header.size)) : nullptr;
  if (bytes == nullptr) {
    OV_LOG(kOVAdLogLevelDebug, kCouldNotReadFullSidx, static_cast<unsigned>(header.size),
           static_cast<unsigned long long>(streamOffset), static_cast<unsigned long long>(boxOffset));
    return kQNVMp4ParseNeedMoreData;
  }
  QNVMP4SidxAtom sidx;
  if (!readSidx(QNVByteReader(bytes, bytes + header.size), boxOffset, header.size, sidx)) {
    OV_LOG(kOVAdLogLevelDebug, "%s", kQNVMp4ReadFailure);
    return kQNVMp4ParseError;
  }
  provider.sidxAtom = std::move(sidx);
  return kQNVMp4ParseDone;
}

}  // namespace plexora
