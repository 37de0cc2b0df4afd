// DASH data loaders fetching the ffmpeg-made presentations from the
// loopback server through the library's fetcher. The playlist data comes
// from the real manifest, read by the playlist loader; between the data
// loader and the fetcher sits a recorder that notes every request with its
// hints and can hold requests back for the test to answer by hand (the
// fetcher never answers the ways a broken host or a race can).
//
// Thread safety: the test's thread; loaders are driven on the media-state
// queue; the recorder and the delegate are called from any thread.
// Ownership: the fixture owns loaders, trackers, distributors, the recorder
// and the delegate.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "testserver/RangeFile.h"
#include "util/OVAdResourceLoader.h"
#include "util/qnv/dash/DashLoaderFixture.h"
#include "util/qnv/dash/QNVDashDataLoader.h"

namespace plexora::testing {

inline std::string dashMediaDir() { return std::string(PLEXORA_TEST_MEDIA_DIR) + "/dash"; }

inline std::string dashFileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct DataReport {
  QNVTrackIndex track;
  std::string representationId;
  bool isComplete;
  bool allRequestedBytesReceived;
  bool forDiskCache;
};

class RecordingDataLoaderDelegate final : public QNVDashDataLoaderDelegate {
 public:
  void loadingDidFailWithError(const platform::Error& error) override {
    std::lock_guard lock(mutex_);
    failures_.push_back(error);
  }
  void dataWasReceivedForTrack(QNVTrackIndex track, const std::string& representationId, bool isComplete,
                               bool allRequestedBytesReceived, bool forDiskCache) override {
    std::lock_guard lock(mutex_);
    reports_.push_back({track, representationId, isComplete, allRequestedBytesReceived, forDiskCache});
  }
  void reportWarning(const platform::Error& warning) override {
    std::lock_guard lock(mutex_);
    warnings_.push_back(warning);
  }

  std::vector<DataReport> reports() const {
    std::lock_guard lock(mutex_);
    return reports_;
  }
  std::vector<DataReport> completions() const {
    std::vector<DataReport> complete;
    for (const auto& report : reports()) {
      if (report.isComplete) complete.push_back(report);
    }
    return complete;
  }
  std::vector<platform::Error> failures() const {
    std::lock_guard lock(mutex_);
    return failures_;
  }
  std::vector<platform::Error> warnings() const {
    std::lock_guard lock(mutex_);
    return warnings_;
  }
  size_t events() const {
    std::lock_guard lock(mutex_);
    return reports_.size() + failures_.size() + warnings_.size();
  }
  // Requests ended: completed, failed, or warned of.
  size_t ends() const { return completions().size() + failures().size() + warnings().size(); }

 private:
  mutable std::mutex mutex_;
  std::vector<DataReport> reports_;
  std::vector<platform::Error> failures_;
  std::vector<platform::Error> warnings_;
};

// One request as the fetcher saw it.
struct SeenRequest {
  std::string url;
  int64_t offset;
  int64_t length;
  bool bypassCache;
  bool firstRequest;
  bool isAudio;
  bool isForDiskCache;
  std::shared_ptr<QNVAssetResourceLoadingRequest> request;
};

class RecordingFetcher final : public QNVAssetResourceLoaderDelegate {
 public:
  explicit RecordingFetcher(std::shared_ptr<OVAdResourceLoader> fetcher) : fetcher_(std::move(fetcher)) {}

  void resourceLoaderLoadRequest(const std::shared_ptr<QNVAssetResourceLoader>& resourceLoader,
                                 const std::shared_ptr<QNVAssetResourceLoadingRequest>& loadingRequest) override {
    const auto data = std::dynamic_pointer_cast<QNVDataRequest>(loadingRequest->dataRequest());
    {
      std::lock_guard lock(mutex_);
      seen_.push_back({loadingRequest->request().url, data ? data->requestedOffset() : -1,
                       data ? data->requestedLength() : -1, data && data->bypassCache, data && data->firstRequest,
                       data && data->isAudio, data && data->isForDiskCache, loadingRequest});
      if (hold_) return;
    }
    fetcher_->resourceLoaderLoadRequest(resourceLoader, loadingRequest);
  }
  void resourceLoaderCancelLoadingRequest(const std::shared_ptr<QNVAssetResourceLoader>& resourceLoader,
                                          const std::shared_ptr<QNVAssetResourceLoadingRequest>& request) override {
    {
      std::lock_guard lock(mutex_);
      cancelled_.push_back(request);
    }
    fetcher_->resourceLoaderCancelLoadingRequest(resourceLoader, request);
  }
  bool resourceLoaderHasPrefetchedDataForUrl(const std::shared_ptr<QNVAssetResourceLoader>&,
                                             const platform::URL&) override {
    return false;
  }

  // Held requests reach the test only.
  void hold(bool held) {
    std::lock_guard lock(mutex_);
    hold_ = held;
  }
  std::vector<SeenRequest> seen() const {
    std::lock_guard lock(mutex_);
    return seen_;
  }
  size_t count() const {
    std::lock_guard lock(mutex_);
    return seen_.size();
  }
  std::vector<std::shared_ptr<QNVAssetResourceLoadingRequest>> cancelled() const {
    std::lock_guard lock(mutex_);
    return cancelled_;
  }

 private:
  const std::shared_ptr<OVAdResourceLoader> fetcher_;
  mutable std::mutex mutex_;
  bool hold_ = false;
  std::vector<SeenRequest> seen_;
  std::vector<std::shared_ptr<QNVAssetResourceLoadingRequest>> cancelled_;
};

class DashDataLoaderFixture : public DashLoaderFixture {
 protected:
  static constexpr int32_t kEverySegment = 100;

  DashDataLoaderFixture() { useFetcher(fetcher_); }
  ~DashDataLoaderFixture() override {
    onQueue([this] { dataLoaders_.clear(); });
  }

  // Puts a recorder in front of `fetcher` as the data loaders' fetcher
  // (the playlist loader keeps its own).
  void useFetcher(std::shared_ptr<OVAdResourceLoader> fetcher) {
    recorder_ = std::make_shared<RecordingFetcher>(std::move(fetcher));
    dataResourceLoader_->setDelegate(recorder_, platform::DispatchQueue::global(), std::string("video-1"),
                                     std::nullopt, std::nullopt);
  }

  // Serves the shape's files under "/dash/<shape>/", with the faults given
  // by file name, and reads its manifest into the playlist data. Video
  // segments are of representation "0", as the asset would choose.
  void loadPresentation(const std::string& shape, const std::map<std::string, testserver::RangeFileOptions>& faults = {}) {
    for (const auto& entry : std::filesystem::directory_iterator(dashMediaDir() + "/" + shape)) {
      const std::string name = entry.path().filename().string();
      auto bytes = std::make_shared<const std::string>(dashFileText(entry.path().string()));
      const auto fault = faults.find(name);
      server_.on("/dash/" + shape + "/" + name,
                 testserver::serveRangeFile(bytes, fault == faults.end() ? testserver::RangeFileOptions{} : fault->second));
    }
    // Every segment of a template presentation, not only those next to its
    // end, should it be played as live.
    QNVDashPlaylistLoaderSettings settings;
    settings.segmentsFromEndToStartPrefetch = kEverySegment;
    settings.segmentsFromEndToStartUpdate = kEverySegment;
    makeLoader("/dash/" + shape + "/manifest.mpd", settings);
    forceUpdate();
    ASSERT_TRUE(data_->isParsed) << failureText();
    onQueue([this] {
      for (const auto& entry : data_->timelineEntries(kQNVVideoTrack)) entry->selectRepresentation("0");
    });
  }

  // The template presentation's segments as a live stream's: its manifest
  // is static, which alone would make it on demand.
  void playAsLive() {
    onQueue([this] { data_->hasBeenDynamic = true; });
  }

  // A fresh start for the next case of a table: new playlist data,
  // trackers, distributors and delegate.
  void resetPresentation() {
    onQueue([this] {
      dataLoaders_.clear();
      loader_.reset();
      data_ = std::make_shared<QNVDashPlaylistData>();
    });
    dataDelegate_ = std::make_shared<RecordingDataLoaderDelegate>();
    for (auto& tracker : trackers_) tracker = std::make_shared<QNVDashDownloadTracker>();
    for (auto& distributor : distributors_) distributor = std::make_shared<QNVDataBlockDistributor>();
  }

  std::shared_ptr<QNVDashDataLoader> makeDataLoader(QNVTrackIndex track, std::optional<std::string> representation) {
    auto loader = QNVDashDataLoader::initWithPlaylistData(data_, trackers_[track], dataResourceLoader_,
                                                          distributors_[track], false, track, std::move(representation));
    loader->setDelegate(dataDelegate_);
    dataLoaders_.push_back(loader);
    return loader;
  }

  // Runs `work` on the queue, then waits until the delegate has heard of
  // `ends` requests ended in all.
  template <typename Work>
  void runAndWait(Work work, size_t ends) {
    onQueue(work);
    ASSERT_TRUE(waitUntil([&] { return dataDelegate_->ends() >= ends; }))
        << "heard of " << dataDelegate_->ends() << " ends of " << ends;
  }

  // The bytes the track's distributor holds from `offset` on.
  std::string distributed(QNVTrackIndex track, uint64_t offset, uint64_t size) {
    auto& distributor = *distributors_[track];
    distributor.addHeadType(kQNVDataBlockHeadBoxParser, offset);
    const uint8_t* bytes = distributor.bytesAtHead(size, kQNVDataBlockHeadBoxParser);
    std::string text = bytes ? std::string(reinterpret_cast<const char*>(bytes), size) : std::string();
    distributor.removeHeadType(kQNVDataBlockHeadBoxParser);
    return text;
  }

  std::string mediaFile(const std::string& shape, const std::string& name) {
    return dashFileText(dashMediaDir() + "/" + shape + "/" + name);
  }
  std::string mediaUrl(const std::string& shape, const std::string& name) {
    return server_.url("/dash/" + shape + "/" + name);
  }

  std::shared_ptr<RecordingDataLoaderDelegate> dataDelegate_ = std::make_shared<RecordingDataLoaderDelegate>();
  std::shared_ptr<QNVAssetResourceLoader> dataResourceLoader_ = std::make_shared<QNVAssetResourceLoader>();
  std::shared_ptr<RecordingFetcher> recorder_;
  std::array<std::shared_ptr<QNVDashDownloadTracker>, 2> trackers_{std::make_shared<QNVDashDownloadTracker>(),
                                                                    std::make_shared<QNVDashDownloadTracker>()};
  std::array<std::shared_ptr<QNVDataBlockDistributor>, 2> distributors_{
      std::make_shared<QNVDataBlockDistributor>(), std::make_shared<QNVDataBlockDistributor>()};
  std::vector<std::shared_ptr<QNVDashDataLoader>> dataLoaders_;
};

}  // namespace plexora::testing
