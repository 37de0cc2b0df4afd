// A remote MP4 asset fetching a generated clip from the loopback test
// server through the library's resource loader, on the manual clock; and a
// reader that pulls every frame through the asset as the engine would.
#pragma once

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/NotificationCenter.h"
#include "testserver/RangeFile.h"
#include "util/qnv/asset/QNVAssetResourceLoader.h"
#include "util/qnv/asset/QNVMp4Asset.h"
#include "util/qnv/support/LoopbackFetchFixture.h"
#include "util/qnv/support/QNVTestClip.h"

namespace plexora::testing {

inline std::shared_ptr<const std::string> fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::make_shared<const std::string>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Counts the notifications of one name posted for one object.
class PostedCount {
 public:
  PostedCount(const char* name, const void* object) {
    token_ = platform::NotificationCenter::defaultCenter().addObserver(
        name, object, nullptr, [this](const platform::Notification&) { count.fetch_add(1); });
  }
  ~PostedCount() { platform::NotificationCenter::defaultCenter().removeObserver(token_); }
  PostedCount(const PostedCount&) = delete;
  PostedCount& operator=(const PostedCount&) = delete;
  std::atomic<int> count{0};

 private:
  platform::NotificationCenter::ObserverToken token_ = 0;
};

class RemoteMp4Fixture : public LoopbackFetchFixture {
 protected:
  RemoteMp4Fixture() : LoopbackFetchFixture("remote-mp4-test") {}

  // Serves the clip at "/<name>" and makes an asset for it as the factory
  // does (no header size, no bitrate).
  std::shared_ptr<QNVMp4Asset> remoteAsset(const std::string& name, testserver::RangeFileOptions options = {},
                                           QNVMp4AssetBufferSizes sizes = {}) {
    return remoteAssetOf(fileBytes(testMediaPath(name)), name, options, sizes);
  }

  std::shared_ptr<QNVMp4Asset> remoteAssetOf(std::shared_ptr<const std::string> bytes, const std::string& name,
                                             testserver::RangeFileOptions options = {},
                                             QNVMp4AssetBufferSizes sizes = {}) {
    server_.on("/" + name, testserver::serveRangeFile(std::move(bytes), options));
    auto asset = QNVMp4Asset::initWithURL(*platform::URL::parse(server_.url(name)), 0, 0, sizes);
    asset->resourceLoader()->setDelegate(fetcher_, platform::DispatchQueue::global(), std::nullopt, std::nullopt,
                                         std::nullopt);
    return asset;
  }

  // Loads and waits for the handler; answers how often it ran.
  static int load(const std::shared_ptr<QNVMp4Asset>& asset) {
    auto calls = std::make_shared<std::atomic<int>>(0);
    asset->loadValuesAsynchronouslyForKeys({"duration"}, [calls] { calls->fetch_add(1); });
    EXPECT_TRUE(waitUntil([&] { return calls->load() > 0; })) << "the load handler runs";
    QNVMediaStateQueue()->sync([] {});
    return calls->load();
  }

  // The Range headers the server saw, in order.
  std::vector<std::string> ranges() const {
    std::vector<std::string> seen;
    for (const auto& request : server_.requests()) seen.push_back(request.header("Range").value_or("none"));
    return seen;
  }
};

// Every frame of a track as the engine reads it through the asset: when a
// frame's bytes are not there yet, the playback time moves to it (which
// makes the asset fetch) and the reader waits. Stops at the track's end or
// when the asset fails; answers the frames' bytes.
inline std::vector<std::vector<uint8_t>> readTrack(const std::shared_ptr<QNVMp4Asset>& asset, QNVTrackIndex track) {
  std::vector<std::vector<uint8_t>> frames;
  bool done = false;
  const auto deadline = std::chrono::steady_clock::now() + kRemoteWait;
  while (!done && std::chrono::steady_clock::now() < deadline) {
    bool waiting = false;
    onQueue([&] {
      while (!waiting && !done) {
        if (asset->status() == kQNVAssetStatusFailed || !asset->trackHasMoreFrames(track)) {
          done = true;
          break;
        }
        const QNVFrameMetadata metadata = asset->currentFrameMetadataForTrack(track);
        const uint8_t* data = asset->currentFrameDataForTrack(track);
        if (data == nullptr) {
          asset->updatePlaybackTime(metadata.presentationTime);
          waiting = true;
          break;
        }
        frames.emplace_back(data, data + metadata.size);
        asset->advanceFrameForTrack(track);
      }
    });
    if (waiting) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return frames;
}

}  // namespace plexora::testing
