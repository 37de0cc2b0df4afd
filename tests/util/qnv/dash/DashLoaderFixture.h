// A DASH playlist loader fetching manifests from the loopback test server
// through the library's fetcher, its refresh timer on the manual clock, and
// a delegate that records what the loader reports.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "util/RuntimeTestSupport.h"
#include "util/qnv/dash/QNVDashPlaylistLoader.h"
#include "util/qnv/support/LoopbackFetchFixture.h"

namespace plexora::testing {

class RecordingPlaylistDelegate final : public QNVPlaylistLoaderDelegate {
 public:
  void loadingDidFailWithError(const platform::Error& error) override {
    std::lock_guard lock(mutex_);
    failures_.push_back(error);
  }
  void playlistUpdated() override { updates.fetch_add(1); }
  void reportWarning(const platform::Error& warning) override {
    std::lock_guard lock(mutex_);
    warnings_.push_back(warning);
  }
  bool hasPlaybackFailed() override { return playbackFailed.load(); }

  std::vector<platform::Error> failures() const {
    std::lock_guard lock(mutex_);
    return failures_;
  }
  std::vector<int64_t> warningCodes() const {
    std::lock_guard lock(mutex_);
    std::vector<int64_t> codes;
    for (const auto& warning : warnings_) codes.push_back(warning.code());
    return codes;
  }
  std::vector<platform::Error> warnings() const {
    std::lock_guard lock(mutex_);
    return warnings_;
  }

  std::atomic<int> updates{0};
  std::atomic<bool> playbackFailed{false};

 private:
  mutable std::mutex mutex_;
  std::vector<platform::Error> failures_;
  std::vector<platform::Error> warnings_;
};

class DashLoaderFixture : public LoopbackFetchFixture {
 protected:
  DashLoaderFixture() : LoopbackFetchFixture("dash-loader-test") {
    resourceLoader_->setDelegate(fetcher_, platform::DispatchQueue::global(), std::string("video-1"), std::nullopt,
                                 std::nullopt);
  }
  ~DashLoaderFixture() override {
    if (loader_) onQueue([this] { loader_.reset(); });
  }
  // A sync from the test's (main) thread runs the work on that thread; this
  // runs it on the queue's own thread, as the engine's tasks run.
  template <typename Work>
  void onQueueThread(Work work) {
    std::promise<void> done;
    QNVMediaStateQueue()->async([&] {
      work();
      done.set_value();
    });
    done.get_future().wait();
  }

  std::shared_ptr<QNVDashPlaylistLoader> makeLoader(const std::string& path, QNVDashPlaylistLoaderSettings settings,
                                                    std::string inlineManifest = "",
                                                    int64_t selectorType = kQNVAbrSelectorTypeHighest) {
    std::optional<platform::URL> url;
    if (!path.empty()) url = platform::URL::parse(server_.url(path));
    selector_ = std::make_shared<QNVAdaptiveBitrateSelector>(selectorType, 0, QNVAbrParameters{}, nullptr, 1);
    loader_ = QNVDashPlaylistLoader::initWithMpdUrl(url, std::move(inlineManifest), data_, resourceLoader_, selector_,
                                                    settings);
    loader_->setDelegate(delegate_);
    return loader_;
  }

  // Runs `start` on the loader's queue and, when it issued a fetch, waits
  // until the server has answered and the loader has taken the answer in.
  void fetchOnce(const std::function<void()>& start) {
    onQueue(start);
    ASSERT_TRUE(waitUntil([this] { return !outstanding(); }));
  }
  // Read on the loader's queue, like all of its state.
  bool outstanding() {
    bool fetching = false;
    onQueue([&] { fetching = loader_->hasOutstandingPlaylistRequest(); });
    return fetching;
  }
  void forceUpdate() {
    fetchOnce([this] { loader_->forcePlaylistUpdate(); });
  }
  // What the delegate was told of failures, for assertion messages.
  std::string failureText() const {
    std::string text;
    for (const auto& error : delegate_->failures()) {
      text += error.domain() + " " + std::to_string(error.code()) + " " + error.localizedDescription() + "; ";
    }
    return text;
  }
  // One second on the manual clock (a refresh tick) and the fetch it makes.
  void tick() {
    clock_->advance(1.0);
    fetchOnce([] {});
  }
  size_t requestCount() const { return server_.requests().size(); }

  size_t held(QNVTrackIndex track) {
    size_t count = 0;
    onQueue([&] { count = data_->timelineEntries(track).size(); });
    return count;
  }

  RuntimeLogCapture log_;
  std::shared_ptr<QNVAssetResourceLoader> resourceLoader_ = std::make_shared<QNVAssetResourceLoader>();
  std::shared_ptr<QNVDashPlaylistData> data_ = std::make_shared<QNVDashPlaylistData>();
  std::shared_ptr<RecordingPlaylistDelegate> delegate_ = std::make_shared<RecordingPlaylistDelegate>();
  std::shared_ptr<QNVAdaptiveBitrateSelector> selector_;
  std::shared_ptr<QNVDashPlaylistLoader> loader_;
};

}  // namespace plexora::testing
