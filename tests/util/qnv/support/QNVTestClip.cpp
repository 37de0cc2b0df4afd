#include "util/qnv/support/QNVTestClip.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <utility>

#include "util/qnv/mp4/Mp4TestDoubles.h"
#include "util/qnv/mp4/QNVMp4CodecConfiguration.h"
#include "util/qnv/mp4/QNVMp4FileBasedReader.h"
#include "util/qnv/mp4/QNVMp4Parser.h"
#include "util/qnv/mp4/QNVMp4SampleTables.h"

namespace plexora::testing {

std::string testMediaPath(const std::string& name) { return std::string(PLEXORA_TEST_MEDIA_DIR) + "/" + name; }

std::string clipTestName(const std::string& clip) {
  std::string name = clip;
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name;
}

platform::SampleBuffer makeVideoSample(const platform::VideoFormatDescription& format, std::vector<uint8_t> bytes,
                                       platform::MediaTime decodeTime, platform::MediaTime presentationTime,
                                       platform::MediaTime duration) {
  const size_t size = bytes.size();
  platform::SampleFormat sampleFormat;
  sampleFormat.video = std::make_shared<const platform::VideoFormatDescription>(format);
  return *platform::SampleBuffer::create(platform::BlockBuffer::withBytes(std::move(bytes)), sampleFormat, 1,
                                         {{duration, presentationTime, decodeTime}}, {size});
}

QNVTestVideoTrack loadVideoTrack(const std::string& path) {
  QNVTestVideoTrack track;
  auto reader = QNVMp4FileBasedReader::initWithFilePath(path);
  if (!reader) return track;
  QNVMP4MoovAtomProvider provider;
  if (parseMoovAtom(provider, *reader) != kQNVMp4ParseDone) return track;
  const auto& traks = provider.moovAtom.trakAtoms;
  for (size_t index = 0; index < traks.size(); ++index) {
    if (traks[index].handler() != "vide") continue;
    if (createH264FormatDescription(traks[index].sampleDescription, track.format) !=
        platform::kVideoFormatDescriptionOK) {
      return track;
    }
    RecordingFrameStore store;
    addSamplesOfTrack(store, provider.moovAtom, index);
    std::ifstream file(path, std::ios::binary);
    const auto timescale = static_cast<int32_t>(traks[index].mediaTimescale);
    for (const QNVMp4FrameRecord& frame : store.frames) {
      std::vector<uint8_t> bytes(frame.size);
      file.seekg(static_cast<std::streamoff>(frame.offset));
      file.read(reinterpret_cast<char*>(bytes.data()), frame.size);
      track.sampleBytes.push_back(bytes);
      track.samples.push_back(makeVideoSample(*track.format, std::move(bytes),
                                              platform::MediaTime::make(static_cast<int64_t>(frame.dts), timescale),
                                              platform::MediaTime::make(static_cast<int64_t>(frame.pts), timescale),
                                              platform::MediaTime::make(frame.duration, timescale)));
    }
    return track;
  }
  return track;
}

QNVTestAudioTrack loadAudioTrack(const std::string& path) {
  QNVTestAudioTrack track;
  auto reader = QNVMp4FileBasedReader::initWithFilePath(path);
  if (!reader) return track;
  QNVMP4MoovAtomProvider provider;
  if (parseMoovAtom(provider, *reader) != kQNVMp4ParseDone) return track;
  const auto& traks = provider.moovAtom.trakAtoms;
  for (size_t index = 0; index < traks.size(); ++index) {
    if (traks[index].handler() != "soun") continue;
    const QNVMP4SampleDescription& sampleDescription = traks[index].sampleDescription;
    if (sampleDescription.codingName == platform::fourCharCode("Opus")) {
      platform::AudioStreamBasicDescription opus;
      opus.sampleRate = 48000;
      opus.formatID = platform::kAudioFormatOpus;
      opus.framesPerPacket = 960;
      opus.channelsPerFrame = sampleDescription.channelConfiguration;
      track.description = opus;
    } else {
      track.description = audioStreamDescription(sampleDescription);
    }
    RecordingFrameStore store;
    addSamplesOfTrack(store, provider.moovAtom, index);
    std::ifstream file(path, std::ios::binary);
    for (const QNVMp4FrameRecord& frame : store.frames) {
      std::vector<uint8_t> bytes(frame.size);
      file.seekg(static_cast<std::streamoff>(frame.offset));
      file.read(reinterpret_cast<char*>(bytes.data()), frame.size);
      track.largestPacket = std::max(track.largestPacket, frame.size);
      track.packets.push_back(std::move(bytes));
    }
    return track;
  }
  return track;
}

std::vector<uint8_t> packedNV12(platform::PixelBuffer& image) {
  std::vector<uint8_t> bytes;
  image.lockBaseAddress(platform::PixelBuffer::LockFlags::kReadOnly);
  const platform::PixelBuffer& locked = image;
  for (size_t row = 0; row < image.height(); ++row) {
    const uint8_t* start = locked.baseAddressOfPlane(0) + row * image.bytesPerRowOfPlane(0);
    bytes.insert(bytes.end(), start, start + image.width());
  }
  for (size_t row = 0; row < image.heightOfPlane(1); ++row) {
    if (image.pixelFormat() == platform::PixelFormat::kNV12) {
      const uint8_t* start = locked.baseAddressOfPlane(1) + row * image.bytesPerRowOfPlane(1);
      bytes.insert(bytes.end(), start, start + image.widthOfPlane(1) * 2);
      continue;
    }
    const uint8_t* cb = locked.baseAddressOfPlane(1) + row * image.bytesPerRowOfPlane(1);
    const uint8_t* cr = locked.baseAddressOfPlane(2) + row * image.bytesPerRowOfPlane(2);
    for (size_t column = 0; column < image.widthOfPlane(1); ++column) {
      bytes.push_back(cb[column]);
      bytes.push_back(cr[column]);
    }
  }
  image.unlockBaseAddress(platform::PixelBuffer::LockFlags::kReadOnly);
  return bytes;
}

}  // namespace plexora::testing
