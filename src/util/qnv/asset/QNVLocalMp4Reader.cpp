#include "util/qnv/asset/QNVLocalMp4Reader.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <limits>

#include "platform/media/FourCharCode.h"
#include "util/qnv/mp4/QNVByteReader.h"
#include "util/qnv/asset/QNVLocalMp4TrackFrames.h"
#include "util/qnv/mp4/QNVMp4CodecConfiguration.h"
#include "util/qnv/mp4/QNVMp4FileBasedReader.h"
#include "util/qnv/mp4/QNVMp4Parser.h"

namespace plexora {

namespace {

__extension__ typedef __int128 Wide;

constexpr uint32_t boxType(const char (&name)[5]) {
  return (uint32_t{static_cast<uint8_t>(name[0])} << 24) | (uint32_t{static_cast<uint8_t>(name[1])} << 16) |
         (uint32_t{static_cast<uint8_t>(name[2])} << 8) | uint32_t{static_cast<uint8_t>(name[3])};
}

platform::Error readerError(int64_t code, const std::string& description) {
  return platform::Error(kQNVLocalMp4ReaderErrorDomain, code,
                         platform::Dictionary{{platform::kLocalizedDescriptionKey, description}});
}

// Calls `visit(type, box)` for each child box of `parent` (the children only,
// without the parent's header); stops at the first malformed size.
template <typename Visit>
void forEachChildBox(QNVByteReader parent, Visit visit) {
  while (parent.bytesLeft() >= 8) {
    uint32_t size32 = 0;
    uint32_t type = 0;
    if (!parent.readU32(0, size32) || !parent.readU32(4, type)) return;
    uint64_t size = size32;
    uint64_t header = 8;
    if (size32 == 1) {
      if (!parent.readU64(8, size)) return;
      header = 16;
    }
    if (size < header || size > parent.bytesLeft()) return;
    QNVByteReader box = parent.window(size);
    box.advance(header);
    visit(type, box);
    parent.advance(size);
  }
}

double fixed16(uint32_t value) { return static_cast<int32_t>(value) / 65536.0; }

struct TrackHeader {
  uint32_t trackId = 0;
  platform::Size size;
  QNVAffineTransform transform;
};

// The size and matrix of a track header box (payload without its header).
std::optional<TrackHeader> readTrackHeader(const QNVByteReader& tkhd) {
  uint8_t version = 0;
  if (!tkhd.readU8(0, version)) return std::nullopt;
  // Version, flags, the times, track id and duration, then 8 reserved
  // bytes, layer, group, volume and 2 reserved bytes before the matrix.
  const uint64_t matrix = version == 1 ? 4 + 8 + 8 + 4 + 4 + 8 + 16 : 4 + 4 + 4 + 4 + 4 + 4 + 16;
  uint32_t field[11] = {};
  for (uint64_t index = 0; index < 11; ++index) {
    if (!tkhd.readU32(matrix + 4 * index, field[index])) return std::nullopt;
  }
  // Matrix order in the file: a, b, u, c, d, v, x, y, w; then width, height.
  TrackHeader header;
  // After version, flags and the two times.
  if (!tkhd.readU32(version == 1 ? 4 + 8 + 8 : 4 + 4 + 4, header.trackId)) return std::nullopt;
  header.transform = {fixed16(field[0]), fixed16(field[1]), fixed16(field[3]),
                      fixed16(field[4]), fixed16(field[6]), fixed16(field[7])};
  header.size = {field[9] / 65536.0, field[10] / 65536.0};
  return header;
}

// The track headers of the movie box, in track order.
std::vector<std::optional<TrackHeader>> readTrackHeaders(const uint8_t* moov, uint64_t size) {
  std::vector<std::optional<TrackHeader>> headers;
  QNVByteReader whole(moov, moov + size);
  forEachChildBox(whole, [&](uint32_t type, const QNVByteReader& movie) {
    if (type != boxType("moov")) return;
    forEachChildBox(movie, [&](uint32_t trakType, const QNVByteReader& trak) {
      if (trakType != boxType("trak")) return;
      std::optional<TrackHeader> header;
      forEachChildBox(trak, [&](uint32_t childType, const QNVByteReader& child) {
        if (childType == boxType("tkhd") && !header) header = readTrackHeader(child);
      });
      headers.push_back(header);
    });
  });
  return headers;
}

// The id fragments name the track by: the track header's, else the track
// extends box's of the same place (the order a muxer writes both in).
uint32_t trackIdOf(const QNVMP4MoovAtom& moov, size_t index, const std::optional<TrackHeader>& header) {
  if (header && header->trackId != 0) return header->trackId;
  const auto& trex = moov.mvexAtom.trexAtoms;
  return index < trex.size() ? trex[index].trackId : static_cast<uint32_t>(index + 1);
}

QNVLocalMp4Track makeTrack(const QNVMP4MoovAtomProvider& provider, size_t index,
                           const std::optional<TrackHeader>& header) {
  const QNVMP4MoovAtom& moov = provider.moovAtom;
  const QNVMP4TrakAtom& trak = moov.trakAtoms[index];
  QNVLocalMp4Track track;
  track.mediaType = trak.handler() == "soun" ? QNVMediaType::Audio : QNVMediaType::Video;
  track.timescale = trak.mediaTimescale;
  QNVLocalMp4TrackFrames frames = localMp4TrackFrames(provider, index, trackIdOf(moov, index, header));
  track.frames = std::move(frames.frames);
  track.sync = std::move(frames.sync);
  track.presentationTimes = std::move(frames.presentationTimes);
  track.shown = std::move(frames.shown);
  if (track.mediaType == QNVMediaType::Video) {
    std::optional<platform::VideoFormatDescription> format;
    if (createH264FormatDescription(trak.sampleDescription, format) == 0 && format) {
      track.videoFormat = std::make_shared<const platform::VideoFormatDescription>(std::move(*format));
    }
  } else if (trak.sampleDescription.codingName == platform::fourCharCode("mp4a") &&
             trak.sampleDescription.isMpeg4Audio != 0) {
    // Only AAC is described: its packets all hold the same number of frames,
    // which the asset's packet times rely on.
    track.audioFormat = audioStreamDescription(trak.sampleDescription);
  }
  if (header) {
    track.naturalSize = header->size;
    // A matrix that flattens the picture (a blank track header's zeros) is
    // no transform anyone meant: the picture is shown as it is, as other
    // players do.
    const QNVAffineTransform& transform = header->transform;
    if (transform.a * transform.d - transform.b * transform.c != 0) track.preferredTransform = transform;
  }
  if (track.videoFormat && !(track.naturalSize.width > 0 && track.naturalSize.height > 0)) {
    // Without a size in the track header, the picture's own.
    const auto dimensions = track.videoFormat->dimensions();
    track.naturalSize = {static_cast<double>(dimensions.width), static_cast<double>(dimensions.height)};
  }
  uint64_t mediaDuration = 0;
  for (const auto& frame : track.frames) mediaDuration += frame.duration;
  if (mediaDuration > 0 && track.timescale > 0) {
    track.nominalFrameRate = static_cast<float>(static_cast<double>(track.frames.size()) * track.timescale /
                                                static_cast<double>(mediaDuration));
  }
  return track;
}

platform::MediaTime trackTime(uint64_t value, uint32_t timescale) {
  if (value > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) ||
      timescale > static_cast<uint32_t>(platform::MediaTime::kMaxTimescale)) {
    return platform::MediaTime::invalid();
  }
  return platform::MediaTime::make(static_cast<int64_t>(value), static_cast<int32_t>(timescale));
}

platform::MediaTime signedTrackTime(int64_t value, uint32_t timescale) {
  if (timescale > static_cast<uint32_t>(platform::MediaTime::kMaxTimescale)) return platform::MediaTime::invalid();
  return platform::MediaTime::make(value, static_cast<int32_t>(timescale));
}

platform::SampleTimingInfo timingOf(const QNVLocalMp4Track& track, size_t index) {
  const QNVMp4FrameRecord& frame = track.frames[index];
  return {trackTime(frame.duration, track.timescale), signedTrackTime(track.presentationTimes[index], track.timescale),
          trackTime(frame.dts, track.timescale)};
}

// Where the last shown frame of any track ends: the duration of a movie
// whose header gives none.
platform::MediaTime shownEnd(const std::vector<QNVLocalMp4Track>& tracks) {
  platform::MediaTime end = platform::MediaTime::zero();
  for (const auto& track : tracks) {
    for (size_t index = 0; index < track.frames.size(); ++index) {
      if (!track.shown[index]) continue;
      const platform::SampleTimingInfo timing = timingOf(track, index);
      const platform::MediaTime frameEnd = platform::add(timing.presentationTimeStamp, timing.duration);
      if (frameEnd.isNumeric() && frameEnd > end) end = frameEnd;
    }
  }
  return end;
}

// Without an edit list media time is presentation time, and a file cut out
// of a longer stream may hold media from well after 0 only (its first
// fragment's decode time): playback starts at the first sample instead of
// showing nothing until then. Every track moves by the same time, rounded
// down in its own timescale, so the tracks stay in step and no first
// sample moves before 0.
void startAtFirstSample(std::vector<QNVLocalMp4Track>& tracks) {
  std::optional<platform::MediaTime> start;
  for (const auto& track : tracks) {
    for (int64_t time : track.presentationTimes) {
      const platform::MediaTime presented = signedTrackTime(time, track.timescale);
      if (presented.isNumeric() && (!start || presented < *start)) start = presented;
    }
  }
  if (!start || *start <= platform::MediaTime::zero()) return;
  for (auto& track : tracks) {
    const auto ticks = static_cast<int64_t>(Wide{start->value} * track.timescale / start->timescale);
    for (int64_t& time : track.presentationTimes) time -= ticks;
  }
}

// The movie's duration: where its media ends. A movie header may state more
// than the file holds (a fragmented file's counts at most the samples of the
// movie box, and some state hours for seconds of media): playback ends once
// the last sample has been shown. A header that states less cuts a plain
// movie short (the samples past it are not shown); fragments run on past it.
// The header's own rounding to its timescale is no difference.
platform::MediaTime movieDuration(const platform::MediaTime& header, uint32_t headerTimescale,
                                  const platform::MediaTime& mediaEnd, bool fragmented) {
  const platform::MediaTime stated = header.isNumeric() ? header : platform::MediaTime::zero();
  if (mediaEnd <= platform::MediaTime::zero()) return stated;
  if (fragmented || stated <= platform::MediaTime::zero()) return mediaEnd;
  const platform::MediaTime rounding =
      headerTimescale > 0 ? trackTime(1, headerTimescale) : platform::MediaTime::zero();
  return platform::add(mediaEnd, rounding) < stated ? mediaEnd : stated;
}

// Every movie fragment after the movie box, into the provider; a damaged
// one ends the list (the fragments before it still play).
void parseFragments(QNVMP4MoovAtomProvider& provider, QNVMp4FileBasedReader& reader) {
  if (provider.moovAtom.mvexAtom.trexAtoms.empty()) return;
  reader.moveHead(provider.moovAtomSize);
  while (parseNextMoofAtom(provider, reader, reader.head()) == kQNVMp4ParseDone) {
  }
}

// nal_ref_idc of the first slice of an H.264 sample in length-prefixed form;
// none when the sample holds no slice.
std::optional<uint8_t> firstSliceReferenceIndicator(const std::vector<uint8_t>& sample, uint32_t lengthSize) {
  if (lengthSize < 1 || lengthSize > 4) return std::nullopt;
  uint64_t offset = 0;
  while (offset + lengthSize < sample.size()) {
    uint64_t length = 0;
    for (uint32_t byte = 0; byte < lengthSize; ++byte) length = (length << 8) | sample[offset + byte];
    offset += lengthSize;
    if (length == 0 || length > sample.size() - offset) return std::nullopt;
    const uint8_t header = sample[offset];
    const uint8_t type = header & 0x1F;
    if (type == 1 || type == 5) return static_cast<uint8_t>((header >> 5) & 0x3);
    offset += length;
  }
  return std::nullopt;
}

}  // namespace

std::shared_ptr<const QNVLocalMp4Movie> QNVLocalMp4Movie::open(const std::string& path) {
  std::shared_ptr<QNVLocalMp4Movie> movie(new QNVLocalMp4Movie());
  movie->path_ = path;
  auto reader = QNVMp4FileBasedReader::initWithFilePath(path);
  if (!reader) {
    movie->error_ = readerError(kQNVLocalMp4ReaderErrorUnreadableFile, "The file cannot be opened.");
    return movie;
  }
  movie->fileLength_ = reader->totalLength();
  QNVMP4MoovAtomProvider provider;
  if (parseMoovAtom(provider, *reader) != kQNVMp4ParseDone) {
    movie->error_ = readerError(kQNVLocalMp4ReaderErrorUnreadableFile, "The file holds no readable movie.");
    return movie;
  }
  const QNVMP4MoovAtom& moov = provider.moovAtom;
  const uint8_t* moovBytes = reader->bytesAtHead(static_cast<int64_t>(provider.moovAtomSize));
  const auto headers = moovBytes != nullptr ? readTrackHeaders(moovBytes, provider.moovAtomSize)
                                            : std::vector<std::optional<TrackHeader>>{};
  parseFragments(provider, *reader);
  bool edited = false;
  for (size_t index = 0; index < moov.trakAtoms.size(); ++index) {
    const std::string_view handler = moov.trakAtoms[index].handler();
    if (handler != "vide" && handler != "soun") continue;
    movie->tracks_.push_back(makeTrack(provider, index, index < headers.size() ? headers[index] : std::nullopt));
    edited = edited || !moov.trakAtoms[index].editList.empty();
  }
  if (!edited) startAtFirstSample(movie->tracks_);
  movie->duration_ = movieDuration(trackTime(moov.mvhdAtom.duration, moov.mvhdAtom.timescale),
                                   moov.mvhdAtom.timescale, shownEnd(movie->tracks_), !provider.moofAtoms.empty());
  return movie;
}

std::vector<const QNVLocalMp4Track*> QNVLocalMp4Movie::tracksWithMediaType(QNVMediaType mediaType) const {
  std::vector<const QNVLocalMp4Track*> tracks;
  for (const auto& track : tracks_) {
    if (track.mediaType == mediaType) tracks.push_back(&track);
  }
  return tracks;
}

QNVLocalMp4TrackReader::QNVLocalMp4TrackReader(std::shared_ptr<const QNVLocalMp4Movie> movie,
                                               const QNVLocalMp4Track& track, QNVLocalMp4OutputSettings settings)
    : movie_(std::move(movie)), track_(track) {
  if (settings.decoded) {
    fail(kQNVLocalMp4ReaderErrorDecodedOutputUnavailable, "Decoded images are not available from this reader.");
    return;
  }
  for (const auto& frame : track_.frames) {
    if (frame.offset > movie_->fileLength() || frame.size > movie_->fileLength() - frame.offset) {
      fail(kQNVLocalMp4ReaderErrorSampleOutsideFile, "A sample lies past the end of the file.");
      return;
    }
  }
}

QNVLocalMp4TrackReader::~QNVLocalMp4TrackReader() {
  if (descriptor_ >= 0) ::close(descriptor_);
}

void QNVLocalMp4TrackReader::fail(int64_t code, const std::string& description) {
  status_ = QNVLocalMp4ReaderStatus::Failed;
  error_ = readerError(code, description);
  if (descriptor_ >= 0) ::close(descriptor_);
  descriptor_ = -1;
}

void QNVLocalMp4TrackReader::setTimeRange(const platform::MediaTimeRange& range) {
  if (status_ == QNVLocalMp4ReaderStatus::Unknown) range_ = range;
}

bool QNVLocalMp4TrackReader::startReading() {
  if (status_ != QNVLocalMp4ReaderStatus::Unknown) return false;
  descriptor_ = ::open(movie_->path().c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor_ < 0) {
    fail(kQNVLocalMp4ReaderErrorReadFailed, "The file cannot be opened.");
    return false;
  }
  nextFrame_ = track_.mediaType == QNVMediaType::Video ? firstVideoFrame() : firstAudioFrame();
  status_ = QNVLocalMp4ReaderStatus::Reading;
  return true;
}

size_t QNVLocalMp4TrackReader::firstVideoFrame() const {
  // The latest sync sample presented at or before the start; of samples
  // presented at the same time, the first decoded.
  std::optional<size_t> best;
  platform::MediaTime bestTime;
  for (size_t index = 0; index < track_.frames.size(); ++index) {
    if (!track_.sync[index]) continue;
    const platform::MediaTime time = timingOf(track_, index).presentationTimeStamp;
    if (time <= range_.start && (!best || time > bestTime)) {
      best = index;
      bestTime = time;
    }
  }
  return best.value_or(0);
}

size_t QNVLocalMp4TrackReader::firstAudioFrame() const {
  // From the beginning, every packet: those before the first edit (the
  // encoder's priming) prepare the decoder. Elsewhere, the first packet
  // still playing at the start.
  if (range_.start <= platform::MediaTime::zero()) return 0;
  for (size_t index = 0; index < track_.frames.size(); ++index) {
    const platform::SampleTimingInfo timing = timingOf(track_, index);
    if (platform::add(timing.presentationTimeStamp, timing.duration) > range_.start) return index;
  }
  return track_.frames.size();
}

void QNVLocalMp4TrackReader::cancelReading() {
  if (status_ == QNVLocalMp4ReaderStatus::Failed) return;
  status_ = QNVLocalMp4ReaderStatus::Cancelled;
  error_ = readerError(kQNVLocalMp4ReaderErrorCancelled, "Reading was cancelled.");
  if (descriptor_ >= 0) ::close(descriptor_);
  descriptor_ = -1;
}

bool QNVLocalMp4TrackReader::endsRange(size_t frame) const {
  const platform::MediaTime end = range_.end();
  return end.isNumeric() && timingOf(track_, frame).presentationTimeStamp >= end;
}

bool QNVLocalMp4TrackReader::readBytes(uint64_t offset, size_t size, std::vector<uint8_t>& out) {
  out.resize(size);
  size_t done = 0;
  while (done < size) {
    const ssize_t got = ::pread(descriptor_, out.data() + done, size - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      fail(kQNVLocalMp4ReaderErrorReadFailed, "A sample cannot be read from the file.");
      return false;
    }
    done += static_cast<size_t>(got);
  }
  return true;
}

std::optional<platform::SampleBuffer> QNVLocalMp4TrackReader::copyNextSampleBuffer() {
  if (status_ != QNVLocalMp4ReaderStatus::Reading) return std::nullopt;
  if (nextFrame_ >= track_.frames.size() || endsRange(nextFrame_)) {
    status_ = QNVLocalMp4ReaderStatus::Completed;
    return std::nullopt;
  }
  return track_.mediaType == QNVMediaType::Video ? nextVideoSample() : nextAudioSamples();
}

std::optional<platform::SampleBuffer> QNVLocalMp4TrackReader::nextVideoSample() {
  const size_t index = nextFrame_++;
  const QNVMp4FrameRecord& frame = track_.frames[index];
  std::vector<uint8_t> bytes;
  if (!readBytes(frame.offset, frame.size, bytes)) return std::nullopt;
  const auto reference =
      track_.videoFormat
          ? firstSliceReferenceIndicator(bytes, static_cast<uint32_t>(track_.videoFormat->nalUnitHeaderLength()))
          : std::nullopt;
  platform::SampleFormat format{track_.videoFormat, std::nullopt};
  auto sample = platform::SampleBuffer::create(platform::BlockBuffer::withBytes(std::move(bytes)), format, 1,
                                               {timingOf(track_, index)}, {frame.size});
  if (!sample) {
    fail(kQNVLocalMp4ReaderErrorReadFailed, "A sample cannot be described.");
    return std::nullopt;
  }
  platform::Dictionary& attachments = sample->sampleAttachmentsArray(true)->front();
  if (!track_.sync[index]) attachments.set(kQNVSampleAttachmentNotSync, true);
  if (reference.value_or(1) != 0) attachments.set(kQNVSampleAttachmentIsDependedOnByOthers, true);
  if (!track_.shown[index]) attachments.set(kQNVSampleAttachmentNotShown, true);
  return sample;
}

std::optional<platform::SampleBuffer> QNVLocalMp4TrackReader::nextAudioSamples() {
  const size_t first = nextFrame_;
  size_t last = first + 1;
  while (last < track_.frames.size() && last - first < kQNVLocalMp4MaxPacketsPerBuffer &&
         track_.frames[last].offset == track_.frames[last - 1].offset + track_.frames[last - 1].size &&
         !endsRange(last)) {
    ++last;
  }
  const uint64_t start = track_.frames[first].offset;
  const uint64_t length = track_.frames[last - 1].offset + track_.frames[last - 1].size - start;
  std::vector<uint8_t> bytes;
  if (!readBytes(start, static_cast<size_t>(length), bytes)) return std::nullopt;
  std::vector<platform::SampleTimingInfo> timing;
  std::vector<size_t> sizes;
  for (size_t index = first; index < last; ++index) {
    timing.push_back(timingOf(track_, index));
    sizes.push_back(track_.frames[index].size);
  }
  nextFrame_ = last;
  platform::SampleFormat format{nullptr, track_.audioFormat};
  auto sample = platform::SampleBuffer::create(platform::BlockBuffer::withBytes(std::move(bytes)), format, last - first,
                                               std::move(timing), std::move(sizes));
  if (!sample) fail(kQNVLocalMp4ReaderErrorReadFailed, "A sample cannot be described.");
  return sample;
}

}  // namespace plexora
