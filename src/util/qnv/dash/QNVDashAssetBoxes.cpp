// Box parsing of a DASH asset: the initialization boxes of each
// representation, then its fragment headers as their bytes arrive, with the
// stream's initial time and the audio trimmed to start with the video.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <string_view>

#include "util/OVAdLogger.h"
#include "util/qnv/core/QNVSoftAssertion.h"
#include "util/qnv/dash/QNVDashAsset.h"
#include "util/qnv/dash/QNVDashEditedFrameStore.h"
#include "util/qnv/mp4/QNVMp4CodecConfiguration.h"
#include "util/qnv/mp4/QNVMp4FragmentDecoder.h"
#include "util/qnv/mp4/QNVMp4Parser.h"

namespace plexora {

namespace {

constexpr const char* kPlaylistNotSet = "Playlist data accessed before being set";
constexpr const char* kMoovNeedsData =
    "%s Not enough data to finish moov parse for track:%d, representationId:%s, expectedInitSize:%llu, tracker:%s";
constexpr const char* kMoovFailed = "%s Moov atom parsing failed -- giving up";
constexpr const char* kMoovParsed = "%s Atom parsing succeeded";
constexpr const char* kSidxNeedsData =
    "%s Not enough data to finish sidx parse for track:%d, representationId:%s, expectedInitSize:%llu, tracker:%s";
constexpr const char* kSidxFailed = "%s Sidx atom parsing failed -- giving up";
constexpr const char* kNoVideoTrack = "%s No video track -- giving up";
constexpr const char* kBadFormat = "%s CMFormatDescription was bad. err:%d -- giving up";
constexpr const char* kNoAudioTrack = "%s Video has no audio track";
constexpr const char* kAudioNotAac = "%s audio track is not AAC. ignoring";
constexpr const char* kMetadataLoaded = "%s Metadata loaded for track: %d";
constexpr const char* kNotifyLoaded = "%s going to notify delegate that asset is loaded";
constexpr const char* kInitialFrames = "%s Initial frames extracted for track:%d";
constexpr const char* kPtsDtsDelta = "delta between pts(%llu) and dts(%llu) > 250";
constexpr const char* kInitialTimeSet =
    "%s Initial time set from video frames initialTime:%llu initialTimePts:%llu, track:%d";
constexpr const char* kLongLiveSegmentDetail =
    "%s Long live segment received for track:%d, expectedDuration:%lld actualDuration:%lld";
constexpr const char* kLongLiveSegment = "Long live segment received";
constexpr const char* kMoofsParsed = "%s Finished parsing result for track:%d after moofsParsed:%d";
constexpr const char* kMoofFailedDetail = "%s Moof parsing failed for track:%d";
constexpr const char* kMoofFailed = "Moof parsing failed";
constexpr const char* kTrackLabel = "track:%d";
constexpr const char* kAudioPtsDts = "pts and dts are supposed to be identical for audio samples";
constexpr const char* kAudioAdvanced = "%s To match video, advanced audio by frameCount:%d";
constexpr const char* kAudioExhausted = "Advanced audio as far as possible but still doesn't match with video";
constexpr const char* kMisalignment = "A/V timeline misalignment for non-QD: %s";
constexpr const char* kLive = "live";
constexpr const char* kVod = "vod";
constexpr std::string_view kVideoHandler = "vide";
constexpr std::string_view kAudioHandler = "soun";

// Fragments parsed in one call at most; the rest wait for the next delivery.
constexpr int32_t kMaxMoofsPerCall = 49999;
// A presentation time this far past the decode time at the start is logged.
constexpr uint64_t kPtsDtsDeltaLimit = 251;
// A live segment longer than this, in track units, is logged.
constexpr int64_t kLongLiveSegmentUnits = 2001;

using ull = unsigned long long;

// The track fragment of a movie fragment that carries the track box at
// `trakIndex`: matched by the track id its movie-extends entry names, else
// the fragment at the same position (a file whose movie header has no
// extends entry for it).
std::optional<size_t> trafIndexForTrak(const QNVMP4MoovAtomProvider& provider, const QNVMP4MoofAtom& moof,
                                       size_t trakIndex) {
  const auto& trexAtoms = provider.moovAtom.mvexAtom.trexAtoms;
  if (trakIndex < trexAtoms.size()) {
    for (size_t index = 0; index < moof.trafAtoms.size(); ++index) {
      if (moof.trafAtoms[index].trackId == trexAtoms[trakIndex].trackId) return index;
    }
    return std::nullopt;
  }
  if (trakIndex < moof.trafAtoms.size()) return trakIndex;
  return std::nullopt;
}

platform::Error loadingError(int64_t code) { return platform::Error(kQNVAssetLoadingError, code); }

}  // namespace

void QNVDashAsset::createNewDataBlockDistributors() {
  createNewDataBlockDistributorForTrack(kQNVVideoTrack);
  createNewDataBlockDistributorForTrack(kQNVAudioTrack);
}

void QNVDashAsset::createNewDataBlockDistributorForTrack(QNVTrackIndex track) {
  const size_t slot = trackSlot(track);
  dataBlockDistributors_[slot] = std::make_shared<QNVDataBlockDistributor>();
  readers_[slot] = std::make_shared<OVAssetLinearReader>(dataBlockDistributors_[slot]);
  dataBlockDistributors_[slot]->addHeadType(kQNVDataBlockHeadBoxParser, 0);
  dataBlockDistributors_[slot]->addHeadType(slot == 0 ? kQNVDataBlockHeadVideo : kQNVDataBlockHeadAudio, 0);
}

void QNVDashAsset::parseAtomForTrack(QNVTrackIndex track, const std::string& representationId) {
  const auto data = dataForRep(representationId, track);
  if (!data->parsedHeaders) attemptToParseInitializationAtomsForTrack(track, representationId);
  if (data->parsedHeaders) attemptToParseMoofAtomsForTrack(track, representationId);
}

void QNVDashAsset::attemptToParseInitializationAtomsForTrack(QNVTrackIndex track,
                                                             const std::string& representationId) {
  if (!playlistData_->isParsed) OV_LOG(kOVAdLogLevelWarn, "%s", kPlaylistNotSet);
  const auto data = dataForRep(representationId, track);
  if (data->parsedHeaders) return;
  const size_t slot = trackSlot(track);
  OVAssetLinearReader& reader = *readers_[slot];
  const bool fragmented = playlistData_->isFragmented();
  if (fragmented && !data->hasReaderOffsetBeenSet) {
    data->readerOffsetBeforeFirstParseAttempt = reader.offset();
    data->hasReaderOffsetBeenSet = true;
  }
  QNVMP4MoovAtomProvider& provider = *data->atomProvider();
  const auto logNeedsData = [&](const char* format) {
    const uint64_t expected = playlistData_->fragmentedInitializationLengthForRepresentation(representationId, track);
    OV_LOG(kOVAdLogLevelDebug, format, description().c_str(), static_cast<int>(track), representationId.c_str(),
           static_cast<ull>(expected), downloadTrackers_[slot]->description().c_str());
  };

  if (!data->parsedMoovAtom) {
    const QNVMp4ParseResult result = parseMoovAtom(provider, reader);
    if (result == kQNVMp4ParseNeedMoreData) {
      if (fragmented) logNeedsData(kMoovNeedsData);
      return;
    }
    if (result != kQNVMp4ParseDone) {
      OV_LOG(kOVAdLogLevelDebug, kMoovFailed, description().c_str());
      parsingDidFailWithError(loadingError(kQNVAssetLoadingErrorParseFailed));
      return;
    }
    // The parser leaves its head at the start of the movie box.
    reader.moveHead(provider.moovAtomSize);
    if (slot == 0) {
      const auto timescale = static_cast<int32_t>(std::min<uint32_t>(provider.moovAtom.mvhdAtom.timescale, INT32_MAX));
      videoTrackDuration_ = platform::MediaTime::make(provider.moovAtom.mvexAtom.mehdAtom.duration, timescale);
      if (duration_.value == 0) duration_ = videoTrackDuration_;
    }
    data->parsedMoovAtom = true;
    OV_LOG(kOVAdLogLevelVerbose, kMoovParsed, description().c_str());
  }

  if (fragmented) {
    // Segment offsets count from the start of the representation's file,
    // wherever its bytes sit in the track's stream.
    const QNVMp4ParseResult result =
        parseSidxAtom(provider, reader, reader.offset() - data->readerOffsetBeforeFirstParseAttempt);
    if (result == kQNVMp4ParseNeedMoreData) {
      logNeedsData(kSidxNeedsData);
      return;
    }
    if (result != kQNVMp4ParseDone) {
      OV_LOG(kOVAdLogLevelDebug, kSidxFailed, description().c_str());
      parsingDidFailWithError(loadingError(kQNVAssetLoadingErrorParseFailed));
      return;
    }
    verifySidxParsingAgainstFileLengthForRepresentationData(*data);
  }

  dataBlockDistributors_[slot]->removeHeadType(kQNVDataBlockHeadBoxParser);

  // The representation's track is the first video or sound track box; its
  // index in the movie header is what the fragments are matched against.
  const auto& trakAtoms = provider.moovAtom.trakAtoms;
  for (size_t index = 0; index < trakAtoms.size() && data->trackId < 0; ++index) {
    const std::string_view handler = trakAtoms[index].handler();
    if (handler == kVideoHandler || handler == kAudioHandler) data->trackId = static_cast<int32_t>(index);
  }

  if (slot == 0) {
    if (data->trackId < 0) {
      OV_LOG(kOVAdLogLevelDebug, kNoVideoTrack, description().c_str());
      parsingDidFailWithError(loadingError(kQNVAssetLoadingErrorNoVideoTrack));
      return;
    }
    const QNVMP4TrakAtom& trak = trakAtoms[static_cast<size_t>(data->trackId)];
    std::optional<platform::VideoFormatDescription> format;
    const int32_t status = createH264FormatDescription(trak.sampleDescription, format);
    data->formatDesc = format ? std::make_shared<const platform::VideoFormatDescription>(std::move(*format)) : nullptr;
    if (status != 0 || !data->formatDesc) {
      OV_LOG(kOVAdLogLevelDebug, kBadFormat, description().c_str(), status);
      parsingDidFailWithError(loadingError(kQNVAssetLoadingErrorCompactionFailed));
      return;
    }
    timescale_[0] = trak.mediaTimescale;
  } else if (data->trackId < 0) {
    OV_LOG(kOVAdLogLevelDebug, kNoAudioTrack, description().c_str());
    dataBlockDistributors_[slot]->removeHeadType(kQNVDataBlockHeadAudio);
  } else {
    const QNVMP4TrakAtom& trak = trakAtoms[static_cast<size_t>(data->trackId)];
    const QNVMP4SampleDescription& entry = trak.sampleDescription;
    // Only AAC and Opus entries are marked decodable by the parser; an AAC
    // entry whose rate or object type cannot be described is no better.
    const auto audioDescription = entry.isMpeg4Audio != 0 ? audioStreamDescription(entry) : std::nullopt;
    if (audioDescription) {
      asbd_ = *audioDescription;
      audioStreamExtraParameters_ = opusHeaderDictionary(entry);
    } else {
      // Handing the player an empty description would have it set up an
      // audio output that cannot play; the stream goes on as video only.
      OV_LOG(kOVAdLogLevelDebug, kAudioNotAac, description().c_str());
      audioIsUndecodable_ = true;
      dataBlockDistributors_[slot]->removeHeadType(kQNVDataBlockHeadAudio);
    }
    timescale_[1] = trak.mediaTimescale;
  }

  OV_LOG(kOVAdLogLevelDebug, kMetadataLoaded, description().c_str(), static_cast<int>(track));
  std::atomic_thread_fence(std::memory_order_seq_cst);
  data->parsedHeaders = true;
  parsedHeadersForAnyRepresentation_[slot] = true;
  if (parsedHeadersForAnyRepresentation_[0] && (parsedHeadersForAnyRepresentation_[1] || !containsAudio())) {
    parsedHeadersForEachTrack_ = true;
    OV_LOG(kOVAdLogLevelDebug, kNotifyLoaded, description().c_str());
  }
  std::atomic_thread_fence(std::memory_order_seq_cst);
}

void QNVDashAsset::attemptToParseMoofAtomsForTrack(QNVTrackIndex track, const std::string& representationId) {
  const auto data = dataForRep(representationId, track);
  const size_t slot = trackSlot(track);
  OVAssetLinearReader& reader = *readers_[slot];
  QNVMP4MoovAtomProvider& provider = *data->atomProvider();
  QNVMp4FrameMetadataCompressor& store = *frames_[slot];
  char label[32];
  std::snprintf(label, sizeof label, kTrackLabel, static_cast<int>(track));
  const std::string tag = label;
  std::weak_ptr<QNVDashAsset> weakSelf = weak_from_this();
  const QNVMp4FragmentErrorHandler onWarning = [weakSelf](const platform::Error& warning) {
    if (auto self = weakSelf.lock()) self->handleWarning(warning);
  };

  int32_t parsed = 0;
  QNVMp4ParseResult result = kQNVMp4ParseDone;
  while (true) {
    result = parseNextMoofAtom(provider, reader, reader.offset());
    if (result != kQNVMp4ParseDone) break;
    segmentsParsedCount_[slot] += 1;
    if (data->trackId == -1) return;
    const uint32_t countBefore = store.frameCount();
    if (slot == 0) {
      gopKeyframeMetadata_.push_back({static_cast<int32_t>(countBefore), representationId});
      if (countBefore == 0) playbackRepIds_[0] = representationId;
    }
    const uint64_t largestPtsBefore = store.largestPts();

    const auto trakIndex = static_cast<size_t>(data->trackId);
    const QNVMP4MoofAtom& moof = provider.moofAtoms.back();
    if (const auto traf = trafIndexForTrak(provider, moof, trakIndex)) {
      QNVDashEditedFrameStore edited(store, provider.moovAtom.trakAtoms[trakIndex],
                                     provider.moovAtom.mvhdAtom.timescale);
      decodeMoofAtom(edited, provider, moof, *traf, tag, onWarning);
    }
    // Only the fragment's own frames matter from here on; its header's
    // records would otherwise grow with every fragment of a long stream.
    provider.resetMoofAtoms();

    if (countBefore == 0 && store.frameCount() > 0) {
      OV_LOG(kOVAdLogLevelDebug, kInitialFrames, description().c_str(), static_cast<int>(track));
      if (slot == 0 && !initialTimeSet_) {
        initialTime_ = store.firstFrame().dts;
        const auto smallestPts = static_cast<int64_t>(store.smallestPts());
        if (shouldUsePtsForInitialTime_ && playlistData_->isLive() && smallestPts > 0) {
          initialTimePts_ = static_cast<uint64_t>(smallestPts);
          if (initialTimePts_ >= initialTime_ && initialTimePts_ - initialTime_ >= kPtsDtsDeltaLimit) {
            OV_LOG(kOVAdLogLevelWarn, kPtsDtsDelta, static_cast<ull>(initialTimePts_), static_cast<ull>(initialTime_));
          }
        } else {
          initialTimePts_ = initialTime_;
        }
        initialTimeSet_ = true;
        OV_LOG(kOVAdLogLevelDebug, kInitialTimeSet, description().c_str(), static_cast<ull>(initialTime_),
               static_cast<ull>(initialTimePts_), static_cast<int>(track));
        if (frames_[1]->frameCount() > 0) advanceAudioToMatchVideo();
      }
    }
    if (slot == 1 && initialTime_ != 0) advanceAudioToMatchVideo();
    if (parsed >= kMaxMoofsPerCall) return;

    if (playlistData_->isLive() && static_cast<int64_t>(largestPtsBefore) >= 0) {
      const auto actual = static_cast<int64_t>(store.largestPts() - largestPtsBefore);
      if (actual >= kLongLiveSegmentUnits) {
        const int32_t fetchIndex = playlistData_->fetchIndexForTrack(track);
        const auto& entries = playlistData_->timelineEntries(track);
        int64_t expected = -1;
        if (fetchIndex >= 2 && static_cast<size_t>(fetchIndex - 1) < entries.size()) {
          const auto& entry = entries[static_cast<size_t>(fetchIndex - 1)];
          expected = entry ? entry->range().duration.value : 0;
        }
        OV_LOG(kOVAdLogLevelDebug, kLongLiveSegmentDetail, description().c_str(), static_cast<int>(track),
               static_cast<long long>(expected), static_cast<long long>(actual));
        OV_LOG(kOVAdLogLevelWarn, "%s", kLongLiveSegment);
      }
    }
    parsed += 1;
  }

  if (result == kQNVMp4ParseNeedMoreData) {
    if (parsed >= 1) {
      OV_LOG(kOVAdLogLevelVerbose, kMoofsParsed, description().c_str(), static_cast<int>(track), parsed);
    }
    return;
  }
  if (result == kQNVMp4ParseError) {
    OV_LOG(kOVAdLogLevelDebug, kMoofFailedDetail, description().c_str(), static_cast<int>(track));
    OV_LOG(kOVAdLogLevelWarn, "%s", kMoofFailed);
    if (shouldFailOnFailedMoofParse_) parsingDidFailWithError(loadingError(kQNVAssetLoadingErrorUnparsedMoofs));
  }
}

void QNVDashAsset::advanceAudioToMatchVideo() {
  QNVMp4FrameMetadataCompressor& audio = *frames_[1];
  if (!audio.isAtEnd()) {
    const QNVMp4FrameRecord current = audio.currentFrame();
    if (current.dts != current.pts) OV_LOG(kOVAdLogLevelWarn, "%s", kAudioPtsDts);
  }
  const uint64_t startDts = initialTimeForTrack(kQNVAudioTrack);
  const uint64_t startPts = initialTimePtsForTrack(kQNVAudioTrack);
  int32_t advanced = 0;
  while (!audio.isAtEnd()) {
    const QNVMp4FrameRecord current = audio.currentFrame();
    if (current.dts >= startDts && current.pts >= startPts) break;
    audio.Next();
    advanced += 1;
  }
  if (advanced == 0) return;
  OV_LOG(kOVAdLogLevelDebug, kAudioAdvanced, description().c_str(), advanced);
  if (!audio.isAtEnd()) return;
  OV_LOG(kOVAdLogLevelDebug, "%s", kAudioExhausted);
  if (playlistData_->videoType != kQNVDashVideoTypeSegmentList) {
    OV_LOG(kOVAdLogLevelWarn, kMisalignment, playlistData_->isLive() ? kLive : kVod);
  }
}

}  // namespace plexora
