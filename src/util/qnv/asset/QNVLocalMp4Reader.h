// The local MP4 asset's view of a file: the opened movie with its tracks
// (format, natural size, preferred transform, nominal frame rate, frame
// records) and a reader per track that hands out the samples as the file
// stores them, from a start time on, as sample buffers.
//
// Reading semantics:
// - A video reader starts at the sync sample presented at or before the
//   start of its time range (a decoder needs it), an audio reader at the
//   first packet still playing at the start; samples come in decode order until the range ends (a sample
//   presented at or after its end is not given) or the track does.
// - Video samples come one per buffer. Each carries an attachment dictionary:
//   "NotSync" (true) on a sample that is not a sync sample, and
//   "IsDependedOnByOthers" (true) on a sample whose H.264 slices are
//   reference pictures (nal_ref_idc above 0); a sample that no other frame
//   references carries neither key.
// - Audio packets come grouped: one buffer per run of packets that lie
//   next to each other in the file (a chunk), at most
//   kQNVLocalMp4MaxPacketsPerBuffer, with one size and one timing entry per
//   packet. The packet descriptions follow from the sizes.
// - Times are in the track's timescale, presentation times through the
//   track's edit list (QNVLocalMp4TrackFrames.h): a sample outside every
//   edit is still handed out, so the decoder has it, with the attachment
//   "NotShown" (true) on a video sample; its time may be negative. In a
//   movie without edit lists the first sample of any track is presented
//   at 0.
// - Fragmented files: the samples of every movie fragment follow those of
//   the movie box.
// - Status: unknown until started, reading, completed once the last sample
//   was handed out, failed when a sample cannot be read (the file changed or
//   is shorter than its index says), cancelled by cancelReading.
//
// Thread safety: none; a movie is shared read-only once opened, a reader
// belongs to one queue (the asset's).
// Ownership: readers share the movie they read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Error.h"
#include "platform/media/AudioStreamDescription.h"
#include "platform/media/MediaTime.h"
#include "platform/media/SampleBuffer.h"
#include "platform/media/VideoFormatDescription.h"
#include "platform/ui/Geometry.h"
#include "util/qnv/asset/QNVAssetForCache.h"
#include "util/qnv/asset/QNVMediaAsset.h"
#include "util/qnv/mp4/QNVMp4FrameRecord.h"

namespace plexora {

inline constexpr const char* kQNVSampleAttachmentNotSync = "NotSync";
inline constexpr const char* kQNVSampleAttachmentIsDependedOnByOthers = "IsDependedOnByOthers";
inline constexpr const char* kQNVSampleAttachmentNotShown = "NotShown";
inline constexpr size_t kQNVLocalMp4MaxPacketsPerBuffer = 64;

// Errors of opening and reading a local movie.
inline constexpr const char* kQNVLocalMp4ReaderErrorDomain = "QNVLocalMp4ReaderError";
enum QNVLocalMp4ReaderErrorCode : int64_t {
  kQNVLocalMp4ReaderErrorUnreadableFile = 1,
  kQNVLocalMp4ReaderErrorSampleOutsideFile = 2,
  kQNVLocalMp4ReaderErrorReadFailed = 3,
  kQNVLocalMp4ReaderErrorCancelled = 4,
  kQNVLocalMp4ReaderErrorDecodedOutputUnavailable = 5,
  kQNVLocalMp4ReaderErrorNoVideoTrack = 6,
  kQNVLocalMp4ReaderErrorNoVideoSamples = 7,
};

struct QNVLocalMp4Track {
  QNVMediaType mediaType = QNVMediaType::Video;
  uint32_t timescale = 0;
  // Video: the H.264 description; null when it cannot be made.
  std::shared_ptr<const platform::VideoFormatDescription> videoFormat;
  // Audio: the AAC stream description; none for any other coding or an
  // entry that cannot be described.
  std::optional<platform::AudioStreamBasicDescription> audioFormat;
  // The track header's size and matrix; the coded size where the header
  // gives none, and the identity where it gives none or one that flattens
  // the picture.
  platform::Size naturalSize;
  QNVAffineTransform preferredTransform;
  // Samples per second of the track's media time.
  float nominalFrameRate = 0.0F;
  // Decode order.
  std::vector<QNVMp4FrameRecord> frames;
  // Per frame: a sync sample; the presentation time through the edit list;
  // whether an edit shows it.
  std::vector<bool> sync;
  std::vector<int64_t> presentationTimes;
  std::vector<bool> shown;
};

class QNVLocalMp4Movie {
 public:
  // Never null: a file that cannot be read or holds no movie gives a movie
  // with no tracks, a zero duration and the reason in error().
  static std::shared_ptr<const QNVLocalMp4Movie> open(const std::string& path);

  const std::string& path() const { return path_; }
  // Zero without a movie. Where the last shown frame of any track ends; a
  // plain movie's header may cut it shorter, and a header's duration stands
  // where no frame is shown.
  platform::MediaTime duration() const { return duration_; }
  std::vector<const QNVLocalMp4Track*> tracksWithMediaType(QNVMediaType mediaType) const;
  uint64_t fileLength() const { return fileLength_; }
  const std::optional<platform::Error>& error() const { return error_; }

 private:
  QNVLocalMp4Movie() = default;

  std::string path_;
  uint64_t fileLength_ = 0;
  platform::MediaTime duration_ = platform::MediaTime::zero();
  std::vector<QNVLocalMp4Track> tracks_;
  std::optional<platform::Error> error_;
};

enum class QNVLocalMp4ReaderStatus { Unknown, Reading, Completed, Failed, Cancelled };

// What a track reader hands out: the samples as stored, or decoded images
// (NV12) at a size; decoded images are not produced by this reader, which
// fails at creation when asked for them.
struct QNVLocalMp4OutputSettings {
  bool decoded = false;
  std::optional<platform::Size> size;
};

class QNVLocalMp4TrackReader {
 public:
  // A reader of one track of the movie; its status is failed from the start
  // (with the error) when the track's index points past the end of the file
  // or the settings ask for decoded images.
  QNVLocalMp4TrackReader(std::shared_ptr<const QNVLocalMp4Movie> movie, const QNVLocalMp4Track& track,
                         QNVLocalMp4OutputSettings settings = {});
  ~QNVLocalMp4TrackReader();
  QNVLocalMp4TrackReader(const QNVLocalMp4TrackReader&) = delete;
  QNVLocalMp4TrackReader& operator=(const QNVLocalMp4TrackReader&) = delete;

  QNVLocalMp4ReaderStatus status() const { return status_; }
  const std::optional<platform::Error>& error() const { return error_; }

  // Only before starting.
  void setTimeRange(const platform::MediaTimeRange& range);
  // Opens the file; false (status failed) when it cannot.
  bool startReading();
  void cancelReading();
  // The next sample; none at the end (status completed) or on failure.
  std::optional<platform::SampleBuffer> copyNextSampleBuffer();

 private:
  void fail(int64_t code, const std::string& description);
  std::optional<platform::SampleBuffer> nextVideoSample();
  std::optional<platform::SampleBuffer> nextAudioSamples();
  bool readBytes(uint64_t offset, size_t size, std::vector<uint8_t>& out);
  bool endsRange(size_t frame) const;
  size_t firstVideoFrame() const;
  size_t firstAudioFrame() const;

  const std::shared_ptr<const QNVLocalMp4Movie> movie_;
  const QNVLocalMp4Track& track_;
  platform::MediaTimeRange range_ =
      platform::MediaTimeRange::make(platform::MediaTime::zero(), platform::MediaTime::positiveInfinity());
  QNVLocalMp4ReaderStatus status_ = QNVLocalMp4ReaderStatus::Unknown;
  std::optional<platform::Error> error_;
  size_t nextFrame_ = 0;
  int descriptor_ = -1;
};

}  // namespace plexora
