// A DASH asset on the media-state queue, as the engine runs it, with its
// playlist filled in by hand: the kind of stream, representations with
// quality labels and bit rates, timelines of equal segments. The unit tests
// of the asset's decisions start from it; the ones that need downloads use
// the loopback server instead.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/NotificationCenter.h"
#include "util/RuntimeTestSupport.h"
#include "util/qnv/core/QNVMediaStateQueue.h"
#include "util/qnv/dash/QNVDashAsset.h"
#include "util/qnv/dash/QNVDashAssetTestAccess.h"

namespace plexora::testing {

// Records the notifications of one name posted by one object.
class NotificationRecorder {
 public:
  NotificationRecorder(const std::string& name, const void* object) {
    token_ = platform::NotificationCenter::defaultCenter().addObserver(
        name, object, nullptr, [this](const platform::Notification& notification) { received.push_back(notification); });
  }
  ~NotificationRecorder() { platform::NotificationCenter::defaultCenter().removeObserver(token_); }
  NotificationRecorder(const NotificationRecorder&) = delete;
  NotificationRecorder& operator=(const NotificationRecorder&) = delete;

  std::vector<platform::Notification> received;

 private:
  platform::NotificationCenter::ObserverToken token_ = 0;
};

class DashAssetUnitFixture : public ::testing::Test {
 protected:
  ~DashAssetUnitFixture() override {
    onQueue([this] {
      access_.reset();
      asset_.reset();
    });
  }

  // The asset is touched on its queue only; work it hands on to the queue
  // runs before the next call returns.
  static void onQueue(const std::function<void()>& work) { QNVMediaStateQueue()->sync(work); }

  void makeAsset(const QNVDashAssetConfig& config = {}, std::string mpdData = "") {
    asset_ = QNVDashAsset::initWithConfig(config, std::move(mpdData), std::nullopt, nullptr);
    access_ = std::make_unique<QNVDashAssetTestAccess>(*asset_);
  }

  QNVDashPlaylistData& playlist() { return *asset_->playlistData(); }

  // A parsed playlist of the kind, with video representations (id, label,
  // bits per second) and the one chosen at parse; live segments come from
  // a dynamic presentation.
  void parsePlaylist(int64_t videoType, const std::vector<QNVDashRepresentationProperties>& video = {},
                     const std::string& chosen = "") {
    playlist().isParsed = true;
    playlist().videoType = videoType;
    playlist().hasBeenDynamic = videoType == kQNVDashVideoTypeLive;
    for (const auto& properties : video) playlist().addRepresentationProperties(properties, kQNVVideoTrack);
    playlist().representationId = chosen;
  }

  // `count` segments of `seconds` each from `start` seconds, on the track's
  // timeline, every one offered in the representations given.
  void addTimeline(QNVTrackIndex track, size_t count, int64_t seconds, int64_t start = 0,
                   const std::vector<std::string>& representations = {}) {
    for (size_t index = 0; index < count; ++index) {
      const auto begin = platform::MediaTime::make(start + static_cast<int64_t>(index) * seconds, 1);
      auto entry = std::make_shared<QNVDashTimelineEntry>(
          platform::MediaTimeRange::make(begin, platform::MediaTime::make(seconds, 1)));
      for (const auto& id : representations) {
        entry->addUrl(platform::URL::parse("http://127.0.0.1/" + id + "/" + std::to_string(index)), id);
      }
      playlist().timelineEntries(track).push_back(entry);
    }
  }

  RuntimeLogCapture log_;
  std::shared_ptr<QNVDashAsset> asset_;
  std::unique_ptr<QNVDashAssetTestAccess> access_;
};

inline QNVDashRepresentationProperties representation(const std::string& id, const std::string& label,
                                                      uint32_t bitsPerSecond) {
  return QNVDashRepresentationProperties(id, bitsPerSecond, label, 320, 180);
}

}  // namespace plexora::testing
