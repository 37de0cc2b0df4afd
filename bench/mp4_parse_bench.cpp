// What reading an MP4 file's index costs, beside libavformat doing the same:
//   BM_MovieIndex         parse a moov of 130,000 video samples from memory,
//                         walk its tables into the on-demand frame store and
//                         read every frame record back in order
//   BM_LibavformatIndex   libavformat opening the same file from memory
//                         (which builds its sample index) and reading every
//                         index entry
//   BM_FragmentedStream   1,000 movie fragments of 30 samples each through
//                         the moof parser and the fragment decode into the
//                         live frame store, the reader keeping up
// The file is written here: H.264 parameter sets of a 160x90 clip, samples of
// 1 to 7 bytes, B-frame composition offsets, a sync sample every 30 frames.
extern "C" {
#include <libavformat/avformat.h>
}

#include <benchmark/benchmark.h>

#include <cstring>
#include <string_view>
#include <vector>

#include "util/qnv/mp4/QNVLiveMp4FrameMetadataCompressor.h"
#include "util/qnv/mp4/QNVMp4FragmentDecoder.h"
#include "util/qnv/mp4/QNVMp4Parser.h"
#include "util/qnv/mp4/QNVMp4SampleTables.h"
#include "util/qnv/mp4/QNVVodMp4FrameMetadataCompressor.h"

namespace {

using namespace plexora;
using Bytes = std::vector<uint8_t>;

constexpr uint32_t kSamples = 130'000;
constexpr uint32_t kSamplesPerChunk = 10;
constexpr uint32_t kSyncInterval = 30;
constexpr uint32_t kFragments = 1'000;
constexpr uint32_t kSamplesPerFragment = 30;

const Bytes kSps = {0x67, 0x42, 0xC0, 0x0B, 0xD9, 0x02, 0x8D, 0xF9, 0x30, 0x11, 0x00, 0x00,
                    0x03, 0x00, 0x01, 0x00, 0x00, 0x03, 0x00, 0x3C, 0x0F, 0x14, 0x2A, 0x48};
const Bytes kPps = {0x68, 0xCB, 0x83, 0xCB, 0x20};

class Writer {
 public:
  Writer& u8(uint8_t v) { return be(v, 1); }
  Writer& u16(uint16_t v) { return be(v, 2); }
  Writer& u32(uint32_t v) { return be(v, 4); }
  Writer& u64(uint64_t v) { return be(v, 8); }
  Writer& zeros(size_t n) {
    bytes.insert(bytes.end(), n, 0);
    return *this;
  }
  Writer& raw(const Bytes& b) {
    bytes.insert(bytes.end(), b.begin(), b.end());
    return *this;
  }
  Writer& open(std::string_view type) {
    open_.push_back(bytes.size());
    u32(0);
    bytes.insert(bytes.end(), type.begin(), type.end());
    return *this;
  }
  Writer& full(std::string_view type, uint32_t versionAndFlags = 0) { return open(type).u32(versionAndFlags); }
  Writer& close() {
    const size_t start = open_.back();
    open_.pop_back();
    const auto size = static_cast<uint32_t>(bytes.size() - start);
    for (int i = 0; i < 4; ++i) bytes[start + i] = static_cast<uint8_t>(size >> (8 * (3 - i)));
    return *this;
  }
  Bytes bytes;

 private:
  Writer& be(uint64_t v, int width) {
    for (int i = width; i-- > 0;) bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return *this;
  }
  std::vector<size_t> open_;
};

uint32_t sampleSize(uint32_t i) { return 1 + i % 7; }

void writeVideoSampleEntry(Writer& w) {
  w.full("stsd").u32(1);
  w.open("avc1").zeros(6).u16(1).zeros(16).u16(160).u16(90).u32(0x480000).u32(0x480000).u32(0).u16(1).zeros(32)
      .u16(24).u16(0xFFFF);
  w.open("avcC").u8(1).u8(66).u8(0xC0).u8(11).u8(0xFF).u8(0xE1).u16(static_cast<uint16_t>(kSps.size())).raw(kSps)
      .u8(1).u16(static_cast<uint16_t>(kPps.size())).raw(kPps).close();
  w.close().close();
}

void writeTrackHeader(Writer& w, uint32_t trackId) {
  w.full("tkhd", 3).u32(0).u32(0).u32(trackId).u32(0).u32(0).zeros(8).u16(0).u16(0).u16(0).u16(0)
      .u32(0x10000).zeros(12).u32(0x10000).zeros(12).u32(0x40000000).u32(160 << 16).u32(90 << 16).close();
}

// ftyp, moov, mdat: a progressive file whose sample bytes all lie in the mdat.
Bytes progressiveFile() {
  Writer w;
  w.open("ftyp").raw({'i', 's', 'o', 'm'}).u32(512).raw({'i', 's', 'o', 'm', 'a', 'v', 'c', '1'}).close();
  w.open("moov");
  w.full("mvhd").u32(0).u32(0).u32(1000).u32(kSamples / 30 * 1000).u32(0x10000).u16(0x100).zeros(10)
      .u32(0x10000).zeros(12).u32(0x10000).zeros(12).u32(0x40000000).zeros(24).u32(2).close();
  w.open("trak");
  writeTrackHeader(w, 1);
  w.open("mdia");
  w.full("mdhd").u32(0).u32(0).u32(15360).u32(kSamples * 512).u16(0x55C4).u16(0).close();
  w.full("hdlr").u32(0).raw({'v', 'i', 'd', 'e'}).zeros(12).u8(0).close();
  w.open("minf").full("vmhd", 1).zeros(8).close();
  w.open("dinf").full("dref").u32(1).full("url ", 1).close().close().close();
  w.open("stbl");
  writeVideoSampleEntry(w);
  w.full("stts").u32(1).u32(kSamples).u32(512).close();
  // I P B B ...: offsets 1024, 2048, 0, 512 repeating, one entry each.
  w.full("ctts").u32(kSamples);
  const uint32_t offsets[] = {1024, 2048, 0, 512};
  for (uint32_t i = 0; i < kSamples; ++i) w.u32(1).u32(offsets[i % 4]);
  w.close();
  w.full("stss").u32(kSamples / kSyncInterval);
  for (uint32_t i = 0; i < kSamples / kSyncInterval; ++i) w.u32(1 + i * kSyncInterval);
  w.close();
  w.full("stsc").u32(1).u32(1).u32(kSamplesPerChunk).u32(1).close();
  w.full("stsz").u32(0).u32(kSamples);
  uint64_t mediaBytes = 0;
  for (uint32_t i = 0; i < kSamples; ++i) {
    w.u32(sampleSize(i));
    mediaBytes += sampleSize(i);
  }
  w.close();
  const size_t stcoAt = w.bytes.size();
  w.full("stco").u32(kSamples / kSamplesPerChunk).zeros(4 * (kSamples / kSamplesPerChunk)).close();
  w.close().close().close().close().close();
  // Chunk offsets point into the mdat that follows.
  uint64_t offset = w.bytes.size() + 8;
  for (uint32_t chunk = 0; chunk < kSamples / kSamplesPerChunk; ++chunk) {
    for (int i = 0; i < 4; ++i) w.bytes[stcoAt + 16 + 4 * chunk + i] = static_cast<uint8_t>(offset >> (8 * (3 - i)));
    for (uint32_t s = 0; s < kSamplesPerChunk; ++s) offset += sampleSize(chunk * kSamplesPerChunk + s);
  }
  w.open("mdat").zeros(mediaBytes).close();
  return w.bytes;
}

Bytes fragmentedStream() {
  Writer w;
  for (uint32_t f = 0; f < kFragments; ++f) {
    const size_t moofStart = w.bytes.size();
    w.open("moof");
    w.full("mfhd").u32(f + 1).close();
    w.open("traf");
    w.full("tfhd", 0x20000 | 0x8).u32(1).u32(512).close();
    w.full("tfdt", 0x01000000).u64(uint64_t{f} * kSamplesPerFragment * 512).close();
    w.full("trun", 0x000E05).u32(kSamplesPerFragment).u32(0).u32(0x2000000);
    const size_t dataOffsetAt = w.bytes.size() - 8;
    for (uint32_t i = 0; i < kSamplesPerFragment; ++i) w.u32(sampleSize(i)).u32(i == 0 ? 0 : 0x10000).u32(1024);
    w.close().close().close();
    const auto dataOffset = static_cast<uint32_t>(w.bytes.size() - moofStart + 8);
    for (int i = 0; i < 4; ++i) w.bytes[dataOffsetAt + i] = static_cast<uint8_t>(dataOffset >> (8 * (3 - i)));
    uint32_t media = 0;
    for (uint32_t i = 0; i < kSamplesPerFragment; ++i) media += sampleSize(i);
    w.open("mdat").zeros(media).close();
  }
  return w.bytes;
}

class MemoryReader final : public QNVMp4StreamingReader {
 public:
  explicit MemoryReader(const Bytes& bytes) : bytes_(bytes) {}
  const uint8_t* bytesAtHead(int64_t count) override {
    if (count < 0 || head_ > bytes_.size() || static_cast<uint64_t>(count) > bytes_.size() - head_) return nullptr;
    return bytes_.data() + head_;
  }
  void moveHead(uint64_t count) override { head_ += count; }
  uint64_t head() const { return head_; }

 private:
  const Bytes& bytes_;
  uint64_t head_ = 0;
};

const Bytes& movieFile() {
  static const Bytes file = progressiveFile();
  return file;
}

void BM_MovieIndex(benchmark::State& state) {
  const Bytes& file = movieFile();
  for (auto _ : state) {
    MemoryReader reader(file);
    QNVMP4MoovAtomProvider provider;
    if (parseMoovAtom(provider, reader) != kQNVMp4ParseDone) state.SkipWithError("parse failed");
    QNVVodMp4FrameMetadataCompressor store;
    addSamplesOfTrack(store, provider.moovAtom, 0);
    uint64_t sum = store.currentFrame().offset;
    while (store.Next()) sum += store.currentFrame().offset;
    benchmark::DoNotOptimize(sum);
    if (store.frameCount() != kSamples) state.SkipWithError("wrong frame count");
  }
  state.SetItemsProcessed(state.iterations() * kSamples);
}
BENCHMARK(BM_MovieIndex)->Unit(benchmark::kMillisecond);

struct MemoryInput {
  const Bytes* bytes;
  int64_t position;
};

int readPacket(void* opaque, uint8_t* buffer, int size) {
  auto* input = static_cast<MemoryInput*>(opaque);
  const int64_t left = static_cast<int64_t>(input->bytes->size()) - input->position;
  if (left <= 0) return AVERROR_EOF;
  const int count = static_cast<int>(std::min<int64_t>(size, left));
  std::memcpy(buffer, input->bytes->data() + input->position, count);
  input->position += count;
  return count;
}

int64_t seekInput(void* opaque, int64_t offset, int whence) {
  auto* input = static_cast<MemoryInput*>(opaque);
  if ((whence & AVSEEK_SIZE) != 0) return static_cast<int64_t>(input->bytes->size());
  switch (whence & ~AVSEEK_FORCE) {
    case SEEK_SET: input->position = offset; break;
    case SEEK_CUR: input->position += offset; break;
    case SEEK_END: input->position = static_cast<int64_t>(input->bytes->size()) + offset; break;
    default: return -1;
  }
  return input->position;
}

void BM_LibavformatIndex(benchmark::State& state) {
  const Bytes& file = movieFile();
  av_log_set_level(AV_LOG_QUIET);
  for (auto _ : state) {
    MemoryInput input{&file, 0};
    constexpr int kBufferSize = 64 * 1024;
    auto* buffer = static_cast<uint8_t*>(av_malloc(kBufferSize));
    AVIOContext* io = avio_alloc_context(buffer, kBufferSize, 0, &input, readPacket, nullptr, seekInput);
    AVFormatContext* context = avformat_alloc_context();
    context->pb = io;
    if (avformat_open_input(&context, nullptr, nullptr, nullptr) != 0) {
      state.SkipWithError("libavformat could not open the file");
      break;
    }
    AVStream* stream = context->streams[0];
    const int entries = avformat_index_get_entries_count(stream);
    uint64_t sum = 0;
    for (int i = 0; i < entries; ++i) sum += static_cast<uint64_t>(avformat_index_get_entry(stream, i)->pos);
    benchmark::DoNotOptimize(sum);
    if (entries != static_cast<int>(kSamples)) state.SkipWithError("wrong index size");
    avformat_close_input(&context);
    av_freep(&io->buffer);
    avio_context_free(&io);
  }
  state.SetItemsProcessed(state.iterations() * kSamples);
}
BENCHMARK(BM_LibavformatIndex)->Unit(benchmark::kMillisecond);

void BM_FragmentedStream(benchmark::State& state) {
  static const Bytes stream = fragmentedStream();
  QNVMP4MoovAtomProvider provider;
  provider.moovAtom.mvexAtom.trexAtoms = {{1, 1, 512, 0, 0x10000}};
  for (auto _ : state) {
    MemoryReader reader(stream);
    QNVLiveMp4FrameMetadataCompressor store;
    uint32_t frames = 0;
    while (parseNextMoofAtom(provider, reader, reader.head()) == kQNVMp4ParseDone) {
      decodeMoofAtom(store, provider, provider.moofAtoms.back(), 0, "bench", nullptr);
      provider.resetMoofAtoms();
      while (!store.isAtEnd()) {
        benchmark::DoNotOptimize(store.currentFrame());
        ++frames;
        store.Next();
      }
    }
    if (frames != kFragments * kSamplesPerFragment) state.SkipWithError("wrong frame count");
  }
  state.SetItemsProcessed(state.iterations() * kFragments * kSamplesPerFragment);
}
BENCHMARK(BM_FragmentedStream)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
