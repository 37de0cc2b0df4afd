#include "util/qnv/asset/QNVMp4AtomManager.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "util/OVAdLogger.h"
#include "util/qnv/asset/OVAssetLinearReader.h"
#include "util/qnv/mp4/QNVMp4CodecConfiguration.h"
#include "util/qnv/mp4/QNVMp4Parser.h"

namespace plexora {

namespace {

constexpr const char* kDescription = "<QNVMp4AtomManager %p>";
constexpr const char* kSecondDelegate = "%s setDelegate called with non-nil delegate";
constexpr const char* kParseFailed = "%s Atom parsing failed -- giving up";
constexpr const char* kCompactionFailed = "%s Atom compression failed -- giving up. TrakAtoms expected:%lu found%lu";
constexpr const char* kParseSucceeded = "%s Atom parsing succeeded";
constexpr const char* kBadFormat = "%s CMFormatDescription was bad. err:%d -- giving up";
constexpr const char* kAudioNotAac = "%s audio track is not AAC. ignoring";
constexpr const char* kNoAudio = "%s Video has no audio track";
constexpr const char* kFramesExtracted = "%s Frames extracted. Notifying callback that asset is loaded";
constexpr const char* kNonNumericSeek = "Attempting to seek MP4 to non-numeric time:%f, invalid:%d, indefinite:%d";
constexpr const char* kSeekUnloaded = "%s seek is not supported if the asset is unloaded";
constexpr const char* kSeekRequested = "%s seek to req time:%f";
constexpr const char* kSeekActual = "%s seek to actual time:%f";
constexpr std::string_view kVideoHandler = "vide";
constexpr std::string_view kAudioHandler = "soun";

// A box header with a 64-bit size.
constexpr uint64_t kLargeBoxHeaderSize = 16;

// Media time of `seconds` in a timescale, in double precision; never below 0.
uint64_t mediaTimeAt(double seconds, uint32_t timescale) {
  const double value = seconds * timescale;
  if (!(value > 0.0)) return 0;
  if (value >= 1.8e19) return UINT64_MAX;
  return static_cast<uint64_t>(value);
}

}  // namespace

QNVMp4AtomManager::QNVMp4AtomManager(uint64_t moovAtomSize) : moovAtomSize_(moovAtomSize) {
  createNewDataBlockDistributors();
}

std::string QNVMp4AtomManager::description() const {
  char text[64];
  std::snprintf(text, sizeof text, kDescription, static_cast<const void*>(this));
  return text;
}

void QNVMp4AtomManager::setDelegate(std::weak_ptr<QNVAtomManagerDelegate> delegate) {
  if (delegate_.lock()) {
    OV_LOG(kOVAdLogLevelWarn, kSecondDelegate, description().c_str());
    return;
  }
  delegate_ = std::move(delegate);
}

void QNVMp4AtomManager::createNewDataBlockDistributors() {
  dataBlockDistributor_ = std::make_shared<QNVDataBlockDistributor>();
  dataBlockDistributor_->addHeadType(kQNVDataBlockHeadVideo, 0);
  if (frames_[kQNVAudioTrack].frameCount() > 0) dataBlockDistributor_->addHeadType(kQNVDataBlockHeadAudio, 0);
}

void QNVMp4AtomManager::fail(int64_t code) {
  failed_ = true;
  if (auto delegate = delegate_.lock()) delegate->parsingDidFailWithError(platform::Error(kQNVAssetLoadingError, code));
}

void QNVMp4AtomManager::parseAtomForTrack(QNVTrackIndex /*track*/) {
  if (parsedHeader_.load(std::memory_order_seq_cst) || failed_) return;
  QNVMP4MoovAtom moov;
  if (!moovAtomParsed_) {
    // Every attempt reads from byte 0: the head may stand anywhere after
    // the last attempt, which stopped where the bytes ran out.
    dataBlockDistributor_->addHeadType(kQNVDataBlockHeadBoxParser, 0);
    OVAssetLinearReader reader(dataBlockDistributor_);
    QNVMP4MoovAtomProvider provider;
    const QNVMp4ParseResult result = parseMoovAtom(provider, reader);
    headerSearchOffset_ = reader.offset();
    if (result == kQNVMp4ParseNeedMoreData) {
      if (provider.moovAtomSize > 0 && moovAtomSize_ == 0) moovAtomSize_ = provider.moovAtomSize;
      return;
    }
    if (result != kQNVMp4ParseDone) {
      OV_LOG(kOVAdLogLevelError, kParseFailed, description().c_str());
      fail(kQNVAssetLoadingErrorParseFailed);
      return;
    }
    if (moovAtomSize_ == 0) moovAtomSize_ = provider.moovAtomSize;
    if (!compressMoovAtom(provider.moovAtom, moovAtom_) ||
        moovAtom_.trakAtoms.size() != provider.moovAtom.trakAtoms.size()) {
      OV_LOG(kOVAdLogLevelError, kCompactionFailed, description().c_str(),
             static_cast<unsigned long>(provider.moovAtom.trakAtoms.size()),
             static_cast<unsigned long>(moovAtom_.trakAtoms.size()));
      fail(kQNVAssetLoadingErrorCompactionFailed);
      return;
    }
    const QNVMP4MvhdAtom& mvhd = provider.moovAtom.mvhdAtom;
    duration_ = platform::MediaTime::make(static_cast<int64_t>(std::min<uint64_t>(mvhd.duration, INT64_MAX)),
                                          static_cast<int32_t>(std::min<uint32_t>(mvhd.timescale, INT32_MAX)));
    moovAtomParsed_ = true;
    OV_LOG(kOVAdLogLevelDebug, kParseSucceeded, description().c_str());
    moov = std::move(provider.moovAtom);
  }
  if (!extractFrames(moov)) return;
  OV_LOG(kOVAdLogLevelDebug, kFramesExtracted, description().c_str());
  parsedHeader_.store(true, std::memory_order_seq_cst);
}

bool QNVMp4AtomManager::extractFrames(const QNVMP4MoovAtom& moov) {
  dataBlockDistributor_->addHeadType(kQNVDataBlockHeadVideo, 0);
  dataBlockDistributor_->addHeadType(kQNVDataBlockHeadAudio, 0);
  dataBlockDistributor_->removeHeadType(kQNVDataBlockHeadBoxParser);

  for (size_t index = 0; index < moov.trakAtoms.size(); ++index) {
    const std::string_view handler = moov.trakAtoms[index].handler();
    if (handler == kVideoHandler && trackId_[kQNVVideoTrack] < 0) trackId_[kQNVVideoTrack] = static_cast<int32_t>(index);
    if (handler == kAudioHandler && trackId_[kQNVAudioTrack] < 0) trackId_[kQNVAudioTrack] = static_cast<int32_t>(index);
  }
  if (trackId_[kQNVVideoTrack] < 0) {
    fail(kQNVAssetLoadingErrorNoVideoTrack);
    return false;
  }

  const QNVMP4TrakAtom& video = moov.trakAtoms[static_cast<size_t>(trackId_[kQNVVideoTrack])];
  std::optional<platform::VideoFormatDescription> format;
  const int32_t status = createH264FormatDescription(video.sampleDescription, format);
  if (status != 0 || !format) {
    OV_LOG(kOVAdLogLevelError, kBadFormat, description().c_str(), status);
    fail(kQNVAssetLoadingErrorCompactionFailed);
    return false;
  }
  formatDesc_ = std::make_shared<const platform::VideoFormatDescription>(std::move(*format));
  timescale_[kQNVVideoTrack] = video.mediaTimescale;
  addSamplesOfTrack(frames_[kQNVVideoTrack], moov, static_cast<size_t>(trackId_[kQNVVideoTrack]));

  if (trackId_[kQNVAudioTrack] < 0) {
    OV_LOG(kOVAdLogLevelDebug, kNoAudio, description().c_str());
    dataBlockDistributor_->removeHeadType(kQNVDataBlockHeadAudio);
    return true;
  }
  const QNVMP4TrakAtom& audio = moov.trakAtoms[static_cast<size_t>(trackId_[kQNVAudioTrack])];
  const QNVMP4SampleDescription& entry = audio.sampleDescription;
  const auto description = entry.codingName == platform::fourCharCode("mp4a") && entry.isMpeg4Audio != 0
                               ? audioStreamDescription(entry)
                               : std::nullopt;
  if (!description) {
    OV_LOG(kOVAdLogLevelDebug, kAudioNotAac, this->description().c_str());
    dataBlockDistributor_->removeHeadType(kQNVDataBlockHeadAudio);
    return true;
  }
  asbd_ = *description;
  audioStreamExtraParameters_ = opusHeaderDictionary(entry);
  timescale_[kQNVAudioTrack] = audio.mediaTimescale;
  addSamplesOfTrack(frames_[kQNVAudioTrack], moov, static_cast<size_t>(trackId_[kQNVAudioTrack]));
  return true;
}

uint64_t QNVMp4AtomManager::headerBytesNeededEnd() const {
  return headerSearchOffset_ + (moovAtomSize_ > 0 ? moovAtomSize_ : kLargeBoxHeaderSize);
}

uint64_t QNVMp4AtomManager::firstFrameOffset() {
  uint64_t offset = frames_[kQNVVideoTrack].frameCount() > 0 ? frames_[kQNVVideoTrack].firstFrame().offset : 0;
  if (frames_[kQNVAudioTrack].frameCount() > 0) offset = std::min(offset, frames_[kQNVAudioTrack].firstFrame().offset);
  return offset;
}

platform::MediaTime QNVMp4AtomManager::currentVideoPts() {
  auto& store = frames_[kQNVVideoTrack];
  if (store.frameCount() == 0) return platform::MediaTime::zero();
  const QNVMp4FrameRecord record = store.isAtEnd() ? store.lastFrame() : store.currentFrame();
  return platform::MediaTime::make(static_cast<int64_t>(record.pts),
                                   static_cast<int32_t>(timescale_[kQNVVideoTrack]));
}

platform::MediaTime QNVMp4AtomManager::videoTrackDuration() const {
  const auto& store = frames_[kQNVVideoTrack];
  if (store.frameCount() == 0) return platform::MediaTime::zero();
  const QNVMp4FrameRecord last = store.lastFrame();
  return platform::MediaTime::make(static_cast<int64_t>(last.pts + last.duration),
                                   static_cast<int32_t>(timescale_[kQNVVideoTrack]));
}

platform::MediaTime QNVMp4AtomManager::timeLoadedForOffset(uint64_t offset, QNVTrackIndex track) {
  if (!isTrack(track)) return platform::MediaTime::invalid();
  auto& store = frames_[track];
  if (store.frameCount() == 0 || store.firstFrame().offset > offset) return platform::MediaTime::invalid();
  return platform::MediaTime::make(static_cast<int64_t>(store.frameForOffset(offset).dts),
                                   static_cast<int32_t>(timescale_[track]));
}

bool QNVMp4AtomManager::offsetIsAtLeastLargestOffset(uint64_t offset, QNVTrackIndex track) const {
  return isTrack(track) && frames_[track].largestOffset() <= offset;
}

uint64_t QNVMp4AtomManager::endOfSampleAt(double seconds, QNVTrackIndex track) {
  const uint32_t index = sampleIndexForTime(moovAtom_, mediaTimeAt(seconds, timescale_[track]),
                                            static_cast<size_t>(trackId_[track]), false);
  const QNVMp4FrameRecord frame = frames_[track].frameAtIndex(index);
  return frame.offset + frame.size;
}

uint64_t QNVMp4AtomManager::offsetForTimeInSeconds(float seconds, QNVTrackIndex /*track*/) {
  if (!moovAtomParsed_ || trackId_[kQNVVideoTrack] < 0) return 0;
  uint64_t end = endOfSampleAt(seconds, kQNVVideoTrack);
  if (frames_[kQNVAudioTrack].frameCount() > 0) end = std::max(end, endOfSampleAt(seconds, kQNVAudioTrack));
  return end;
}

bool QNVMp4AtomManager::shouldResetAssetToBeginning() const {
  return frames_[kQNVVideoTrack].currentFrameIndex() > 0 || frames_[kQNVAudioTrack].currentFrameIndex() > 0;
}

uint64_t QNVMp4AtomManager::currentOrLargestOffset(QNVVodMp4FrameMetadataCompressor& store) {
  return store.isAtEnd() ? store.largestOffset() : store.currentFrame().offset;
}

QNVSeekStatus QNVMp4AtomManager::seekToPosition(const platform::MediaTime& time) {
  // There is no frame at a time that is no number: the seek is refused.
  if (!time.isNumeric()) {
    OV_LOG(kOVAdLogLevelWarn, kNonNumericSeek, time.seconds(), time.isValid() ? 0 : 1, time.isIndefinite() ? 1 : 0);
    return {};
  }
  if (!parsedHeaders()) {
    OV_LOG(kOVAdLogLevelWarn, kSeekUnloaded, description().c_str());
    return {};
  }
  const double seconds = time.seconds();
  OV_LOG(kOVAdLogLevelDebug, kSeekRequested, description().c_str(), seconds);
  auto& video = frames_[kQNVVideoTrack];
  auto& audio = frames_[kQNVAudioTrack];
  const uint32_t videoIndex = sampleIndexForTime(moovAtom_, mediaTimeAt(seconds, timescale_[kQNVVideoTrack]),
                                                 static_cast<size_t>(trackId_[kQNVVideoTrack]), true);
  const QNVMp4FrameRecord videoFrame = video.frameAtIndex(videoIndex);
  const double actualSeconds = static_cast<double>(videoFrame.pts) / timescale_[kQNVVideoTrack];
  const uint32_t audioIndex =
      audio.frameCount() > 0 ? sampleIndexForTime(moovAtom_, mediaTimeAt(actualSeconds, timescale_[kQNVAudioTrack]),
                                                  static_cast<size_t>(trackId_[kQNVAudioTrack]), false)
                             : 0;
  OV_LOG(kOVAdLogLevelDebug, kSeekActual, description().c_str(), actualSeconds);

  if (video.currentFrameIndex() > videoIndex || audio.currentFrameIndex() > audioIndex) {
    video.seekToFrameIndex(0);
    if (audio.frameCount() > 0) audio.seekToFrameIndex(0);
    if (auto delegate = delegate_.lock()) delegate->resetDataForSeekBack();
  }
  video.seekToFrameIndex(videoIndex);
  uint64_t offset = currentOrLargestOffset(video);
  if (audio.frameCount() > 0) {
    audio.seekToFrameIndex(audioIndex);
    offset = std::min(offset, currentOrLargestOffset(audio));
  }
  QNVSeekStatus status;
  status.seekSucceeded = true;
  status.seekTime = time;
  status.seekVideo = true;
  status.videoOffset = offset;
  return status;
}

bool QNVMp4AtomManager::trackHasMoreFrames(QNVTrackIndex track, bool /*isFullyDownloaded*/) const {
  return isTrack(track) && frames_[track].frameCount() > 0 && !frames_[track].isAtEnd();
}

QNVFrameMetadata QNVMp4AtomManager::currentFrameMetadataForTrack(QNVTrackIndex track) {
  if (!trackHasMoreFrames(track, false)) return {};
  const QNVMp4FrameRecord record = frames_[track].currentFrame();
  const auto timescale = static_cast<int32_t>(timescale_[track]);
  QNVFrameMetadata metadata;
  metadata.size = record.size;
  metadata.decodeTime = platform::MediaTime::make(static_cast<int64_t>(record.dts), timescale);
  metadata.presentationTime = platform::MediaTime::make(static_cast<int64_t>(record.pts), timescale);
  metadata.duration = platform::MediaTime::make(record.duration, timescale);
  return metadata;
}

const uint8_t* QNVMp4AtomManager::currentFrameDataForTrack(QNVTrackIndex track) {
  if (!trackHasMoreFrames(track, false)) return nullptr;
  const QNVMp4FrameRecord record = frames_[track].currentFrame();
  if (record.size == 0) return nullptr;
  const size_t head = static_cast<size_t>(track) + 1;
  dataBlockDistributor_->moveHeadTo(record.offset, head);
  return dataBlockDistributor_->bytesAtHead(record.size, head);
}

void QNVMp4AtomManager::advanceFrameForTrack(QNVTrackIndex track) {
  if (isTrack(track)) frames_[track].Next();
}

uint64_t QNVMp4AtomManager::currentOffsetForTrack(QNVTrackIndex track) {
  return isTrack(track) ? frames_[track].currentFrame().offset : 0;
}

}  // namespace plexora
