// Keeps a DASH asset's playlist data filled from its manifest: taken inline
// or fetched through the asset's fetcher, re-fetched once a second while the
// manifest is dynamic (live), each result merged into the held timelines.
// The delegate (the asset) hears when the playlist was updated, when loading
// failed for good, and of anomalies (warnings).
//
// Three source files: fetching, refresh, pause and resume here and in
// QNVDashPlaylistLoader.cpp; manifest processing and track selection in
// QNVDashPlaylistLoaderManifest.cpp; the timeline merge, staleness and
// capping in QNVDashPlaylistLoaderTimeline.cpp.
//
// Errors: "QNVAssetLoadingError" 558 (no video track), 559 (no timeline and
// nothing held), 561 (empty manifest), 562 (unknown addressing type), 563
// (expired three times running), or the parser's own error. Warnings:
// "DashPlaylistLoader" 0 to 5 (see QNVDashPlaylistLoaderWarning).
//
// Thread safety: every member runs on the loader's queue (the media-state
// queue), except the fetcher call, which runs on the fetcher's queue; the
// fetch's callbacks hop back to the loader's queue.
// Ownership: the asset owns the loader; the loader shares the playlist data
// with it, holds the fetcher holder, the selector and its refresh timer
// strongly, and the delegate weakly. Callbacks and timer ticks hold the
// loader weakly.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/URL.h"
#include "util/qnv/asset/QNVAssetResourceLoader.h"
#include "util/qnv/core/QNVTimerManager.h"
#include "util/qnv/dash/QNVAdaptiveBitrateSelector.h"
#include "util/qnv/dash/QNVDashPlaylistData.h"
#include "util/qnv/dash/QNVMediaPresentationDescription.h"

namespace plexora {

inline constexpr const char* kQNVDashPlaylistLoaderDomain = "DashPlaylistLoader";
enum : int64_t {
  kQNVDashWarningMultipleAudioTracks = 0,
  kQNVDashWarningLiveVideoTrackChoice = 1,
  kQNVDashWarningNoTimelineButHeld = 2,
  kQNVDashWarningTimelineCountMismatch = 3,
  kQNVDashWarningTimestampReset = 4,
  kQNVDashWarningTimestampDrop = 5,
};
enum : int64_t {
  kQNVAssetLoadingErrorNoTimeline = 559,
  kQNVAssetLoadingErrorEmptyManifest = 561,
  kQNVAssetLoadingErrorUnknownVideoType = 562,
  kQNVAssetLoadingErrorManifestExpired = 563,
};
// The user-information key of a timestamp drop, in seconds.
inline constexpr const char* kQNVDashDeltaKey = "delta";

class QNVPlaylistLoaderDelegate {
 public:
  virtual ~QNVPlaylistLoaderDelegate() = default;
  virtual void loadingDidFailWithError(const platform::Error& error) = 0;
  virtual void playlistUpdated() = 0;
  virtual void reportWarning(const platform::Error& warning) = 0;
  virtual bool hasPlaybackFailed() = 0;
};

struct QNVDashPlaylistLoaderSettings {
  // Segments counted back from the live edge: asked for by the first load,
  // and by each refresh.
  int32_t segmentsFromEndToStartPrefetch = 0;
  int32_t segmentsFromEndToStartUpdate = 0;
  // Most unfetched live segments tolerated (0 or less: no cap), and how many
  // stay when the cap is hit.
  int32_t unfetchedSegmentCap = 0;
  int32_t unfetchedSegmentsAfterCap = 0;
  // Stale refreshes in a row that make the stream dry (0 or less: never).
  int32_t staleMpdUpdatesThreshold = 0;
  // The "_nc_p_n" push counts of the first and the later fetches (0 or
  // less: no push parameters).
  int32_t pushInitialSegmentCount = 0;
  int32_t pushContinuousSegmentCount = 0;
  // Minutes added to availabilityEndTime before a manifest counts as
  // expired (0 or less: never).
  int32_t minutesToPadAvailEndTime = 0;
  bool ignorePrefetchQualitySelection = false;
  bool enableVP9 = false;
};

class QNVDashPlaylistLoader : public std::enable_shared_from_this<QNVDashPlaylistLoader> {
 public:
  // `mpdUrl` none for an inline-only manifest; `mpdData` empty when there
  // is none. A URL puts the playlist data in prefetch mode.
  static std::shared_ptr<QNVDashPlaylistLoader> initWithMpdUrl(std::optional<platform::URL> mpdUrl, std::string mpdData,
                                                               std::shared_ptr<QNVDashPlaylistData> playlistData,
                                                               std::shared_ptr<QNVAssetResourceLoader> resourceLoader,
                                                               std::shared_ptr<QNVAdaptiveBitrateSelector> abrSelector,
                                                               const QNVDashPlaylistLoaderSettings& settings);
  ~QNVDashPlaylistLoader();
  QNVDashPlaylistLoader(const QNVDashPlaylistLoader&) = delete;
  QNVDashPlaylistLoader& operator=(const QNVDashPlaylistLoader&) = delete;

  std::string description() const;
  // Only the first delegate is taken.
  void setDelegate(const std::shared_ptr<QNVPlaylistLoaderDelegate>& delegate);
  // Applies the inline manifest once, on the loader's queue; the delegate
  // hears nothing of it.
  void handleInlinedManifest();
  void forcePlaylistUpdate();
  void pauseWithUnplayedData(uint32_t unplayedMilliseconds);
  void resume();

  bool isStreamDry() const;
  bool live() const { return playlistData_->isLive(); }
  const std::shared_ptr<QNVDashPlaylistData>& playlistData() const { return playlistData_; }
  const std::shared_ptr<QNVAssetResourceLoader>& resourceLoader() const { return resourceLoader_; }
  uint32_t unfetchedSegmentCapHitCount() const { return unfetchedSegmentsCapHitCount_; }
  double publishFrameTimeMS() const { return static_cast<double>(publishFrameTimeMS_); }
  int32_t segmentsFromEndToStart() const { return settings_.segmentsFromEndToStartUpdate; }
  // The manifest URL in use (a representation's own once it names one).
  const std::optional<platform::URL>& mpdURL() const { return mpdURL_; }
  int32_t consecutiveStaleUpdates() const { return consecutiveStaleUpdates_; }
  bool hasOutstandingPlaylistRequest() const { return currentResourceLoaderRequestForPlaylist_ != nullptr; }

  void forTestingOverrideTimerManager(std::shared_ptr<QNVTimerManager> timerManager);
  void forTestingEnableLiveMidstreamSwitch();
  void forTestingEnableVodMidstreamSwitch();

 private:
  QNVDashPlaylistLoader(std::optional<platform::URL> mpdUrl, std::string mpdData,
                        std::shared_ptr<QNVDashPlaylistData> playlistData,
                        std::shared_ptr<QNVAssetResourceLoader> resourceLoader,
                        std::shared_ptr<QNVAdaptiveBitrateSelector> abrSelector,
                        const QNVDashPlaylistLoaderSettings& settings);

  // Fetching and refresh.
  void cancelPlaylistTimer();
  std::optional<platform::URL> addPushParamsForFirstRequest(const platform::URL& url) const;
  std::optional<platform::URL> addPushParamsForContinuousRequests(const platform::URL& url) const;
  void updatePlaylist();
  void playlistLoadingRequestCallback(const std::string& bytes, const std::optional<platform::Error>& error);
  void logManifestWithMessage(const char* message, const std::string& bytes);
  void updatePlaylistTimerForPlaylistWasDynamic(bool wasDynamic);
  int32_t furthestFetchIndex() const;

  // Manifest processing.
  bool handleMpdData(const std::string& bytes);
  bool handleFragmentedMpd(const QNVMediaPresentationDescription& mpd, const QNVDashTrackMetadata* audioTrack);
  bool handleSegmentedMpd(const QNVMediaPresentationDescription& mpd, const QNVDashTrackMetadata* audioTrack,
                          const std::string& bytes);
  void validateTrackListsForMpd(const QNVMediaPresentationDescription& mpd);
  void validateVideoTrack(const QNVDashTrackMetadata& videoTrack, const QNVDashTrackMetadata* audioTrack);
  const QNVDashTrackMetadata* selectFragmentedVideoTrackFromMpd(const QNVMediaPresentationDescription& mpd);
  const QNVDashTrackMetadata* selectSegmentedVideoTrackFromMpd(const QNVMediaPresentationDescription& mpd);
  bool isValidEnoughToContinueWithVideoTrack(const QNVDashTrackMetadata* track, int64_t type);
  void markAvailableQualitiesForMpd(const QNVMediaPresentationDescription& mpd);
  void markCbrSelectedQuality(const QNVDashTrackMetadata* track);
  void extractMetadataFromAudioTrack(const QNVDashTrackMetadata* track);
  void failWithCode(int64_t code);
  void warnWithCode(int64_t code, platform::Dictionary userInfo = {});

  // Timeline merge, staleness and capping.
  void addEntriesFromTrackMetadata(const QNVDashTrackMetadata* track, QNVTrackIndex trackIndex);
  void logStalenessForVideoTrack(const QNVDashTrackMetadata* track);
  void capUnfetchedSegmentsIfNecessary();

  std::weak_ptr<QNVPlaylistLoaderDelegate> delegate_;
  bool hasDelegate_ = false;
  std::shared_ptr<QNVAssetResourceLoader> resourceLoader_;
  std::shared_ptr<QNVTimerManager> timerManager_;
  platform::DispatchQueuePtr dispatchQueue_;
  std::optional<platform::URL> mpdURL_;
  std::string initialMpdData_;
  std::shared_ptr<QNVAssetResourceLoadingRequest> currentResourceLoaderRequestForPlaylist_;
  std::shared_ptr<QNVTimer> playlistRefreshTimer_;
  std::shared_ptr<QNVDashPlaylistData> playlistData_;
  int32_t consecutiveStaleUpdates_ = 0;
  uint32_t unfetchedSegmentsCapHitCount_ = 0;
  bool firstPlaylistFetch_ = true;
  std::shared_ptr<QNVAdaptiveBitrateSelector> abrSelector_;
  bool liveMidstreamSwitchEnabled_ = false;
  bool vodMidstreamSwitchEnabled_ = false;
  bool async_ = true;
  uint64_t publishFrameTimeMS_ = 0;
  int32_t expiredCount_ = 0;
  bool loggedManifest_ = false;
  const QNVDashPlaylistLoaderSettings settings_;
};

}  // namespace plexora
