// Feeds arbitrary bytes to the MP4 parser's entry points as a stream that
// arrives in two pieces: the movie box with its sample walk and seek
// look-ups, the segment index, and every movie fragment through the fragment
// decode. No input may crash it, hang it or make it allocate without bound; a
// failed parse keeps nothing, and the sample walk and the seek look-ups stay
// within the tables they walk.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "util/qnv/mp4/QNVMp4FragmentDecoder.h"
#include "util/qnv/mp4/QNVMp4Parser.h"
#include "util/qnv/mp4/QNVMp4SampleTables.h"

using namespace plexora;

namespace {

void require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "mp4_box_fuzz: %s\n", what);
  std::abort();
}

class Reader final : public QNVMp4StreamingReader {
 public:
  Reader(const uint8_t* data, size_t size, size_t available) : data_(data), size_(size), available_(available) {}
  void arriveAll() { available_ = size_; }
  uint64_t head() const { return head_; }
  const uint8_t* bytesAtHead(int64_t count) override {
    if (count < 0 || head_ > available_ || static_cast<uint64_t>(count) > available_ - head_) return nullptr;
    return data_ + head_;
  }
  void moveHead(uint64_t count) override { head_ = count > UINT64_MAX - head_ ? UINT64_MAX : head_ + count; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t available_;
  uint64_t head_ = 0;
};

// Keeps the count and the last two records: what the walk and the fragment
// decode look back at.
class CountingStore final : public QNVMp4FrameMetadataCompressor {
 public:
  uint32_t count = 0;
  void reset() override { count = 0; }
  void addFrame(const QNVMp4FrameRecord& frame) override {
    previous_ = last_;
    last_ = frame;
    ++count;
    if (frame.duration != 0) latest_ = frame.duration;
  }
  bool Next() override { return false; }
  bool seekToFrameIndex(uint32_t index) override { return index < count; }
  QNVMp4FrameRecord currentFrame() override { return last_; }
  uint32_t currentFrameIndex() const override { return 0; }
  uint32_t frameCount() const override { return count; }
  bool isAtEnd() const override { return count == 0; }
  uint64_t largestOffset() const override { return last_.offset + last_.size; }
  QNVMp4FrameRecord firstFrame() const override { return {}; }
  QNVMp4FrameRecord lastFrame() const override { return last_; }
  QNVMp4FrameRecord frameAtIndex(uint32_t index) override { return index + 2 == count ? previous_ : last_; }
  QNVMp4FrameRecord frameForOffset(uint64_t) override { return last_; }
  void setLastSequenceNumber(uint32_t value) override { sequence_ = value; }
  uint32_t lastSequenceNumber() const override { return sequence_; }
  uint64_t smallestPts() const override { return UINT64_MAX; }
  uint64_t largestPts() const override { return UINT64_MAX; }
  uint32_t latestNonZeroDuration() const override { return latest_; }

 private:
  QNVMp4FrameRecord last_;
  QNVMp4FrameRecord previous_;
  uint32_t sequence_ = 0;
  uint32_t latest_ = 0;
};

void walkMovie(const QNVMP4MoovAtom& moov) {
  for (size_t track = 0; track < moov.trakAtoms.size(); ++track) {
    CountingStore store;
    addSamplesOfTrack(store, moov, track);
    require(store.count <= moov.trakAtoms[track].sampleSizes.count(), "more frames than samples");
  }
  QNVMP4MoovAtomCompressed compressed;
  if (!compressMoovAtom(moov, compressed)) return;
  for (size_t track = 0; track < compressed.trakAtoms.size(); ++track) {
    for (uint64_t time : {uint64_t{0}, uint64_t{1000}, UINT64_MAX}) {
      const uint32_t index = sampleIndexForTime(compressed, time, track, (time & 1) != 0);
      const uint32_t samples = compressed.trakAtoms[track].sampleCount;
      require(samples == 0 ? index == 0 : index < samples, "sample index past the track");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const size_t firstPiece = size == 0 ? 0 : data[0] % (size + 1);
  Reader reader(data, size, firstPiece);
  QNVMP4MoovAtomProvider provider;
  QNVMp4ParseResult result = parseMoovAtom(provider, reader);
  if (result == kQNVMp4ParseNeedMoreData) {
    reader.arriveAll();
    result = parseMoovAtom(provider, reader);
  }
  if (result == kQNVMp4ParseDone) {
    walkMovie(provider.moovAtom);
    reader.moveHead(provider.moovAtomSize);
  } else {
    require(provider.moovAtom.trakAtoms.empty(), "a failed parse kept tracks");
    return 0;
  }

  Reader fragments(data, size, size);
  fragments.moveHead(reader.head());
  // Any answer will do: only a crash or a sanitizer report is a finding, and
  // the fragments are read below whether or not an index was found.
  static_cast<void>(parseSidxAtom(provider, fragments, fragments.head()));
  Reader moofs(data, size, size);
  moofs.moveHead(reader.head());
  CountingStore store;
  while (parseNextMoofAtom(provider, moofs, moofs.head()) == kQNVMp4ParseDone) {
    const QNVMP4MoofAtom& moof = provider.moofAtoms.back();
    for (size_t traf = 0; traf < moof.trafAtoms.size(); ++traf) decodeMoofAtom(store, provider, moof, traf, "fuzz", nullptr);
  }
  return 0;
}
