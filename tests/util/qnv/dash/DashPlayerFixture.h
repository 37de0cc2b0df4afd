// The engine's player fed by a DASH asset over loopback, as a host that
// creates the asset plays it: ffmpeg's DASH presentations from the test
// media served file by file (one file may be made to misbehave), the asset
// made for a manifest path and loaded, and the files ffmpeg and ffprobe read
// as the oracle of one representation.
// Called on the test's thread; the fixture owns the asset and releases it on
// the media-state queue.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "support/TempDir.h"
#include "testserver/RangeFile.h"
#include "util/qnv/dash/QNVDashAsset.h"
#include "util/qnv/support/LoopbackFetchFixture.h"
#include "util/qnv/support/QNVClipPlayback.h"

namespace plexora::testing {

inline constexpr int kWidth = 160;
inline constexpr int kHeight = 90;
inline constexpr double kMinimumPsnr = 35.0;

inline std::string dashDir() { return std::string(PLEXORA_TEST_MEDIA_DIR) + "/dash"; }

inline std::string fileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The media segments of a template representation in timeline order.
inline std::vector<std::filesystem::path> templateSegments(const std::string& shape, const std::string& id) {
  std::vector<std::pair<uint64_t, std::filesystem::path>> found;
  const std::string prefix = "seg-" + id + "-";
  for (const auto& entry : std::filesystem::directory_iterator(dashDir() + "/" + shape)) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with(prefix)) found.emplace_back(std::stoull(name.substr(prefix.size())), entry.path());
  }
  std::sort(found.begin(), found.end());
  std::vector<std::filesystem::path> paths;
  for (const auto& [time, path] : found) paths.push_back(path);
  return paths;
}

// One representation as one file ffmpeg reads: the fragmented file itself
// (SegmentBase), or the init segment and the media segments joined.
inline std::string representationFile(const std::string& shape, const std::string& id, const std::filesystem::path& dir) {
  if (std::filesystem::exists(dashDir() + "/" + shape + "/rep-" + id + ".mp4")) {
    return dashDir() + "/" + shape + "/rep-" + id + ".mp4";
  }
  const std::string joined = (dir / (shape + "-" + id + ".mp4")).string();
  std::ofstream out(joined, std::ios::binary);
  out << fileText(dashDir() + "/" + shape + "/init-" + id + ".m4s");
  for (const auto& segment : templateSegments(shape, id)) out << fileText(segment.string());
  return joined;
}

inline QNVDashAssetConfig playbackConfig() {
  QNVDashAssetConfig config;
  config.fetchBufferSizeInSeconds = 10.0;
  config.unstallBufferSizeInSeconds = 0.5;
  config.firstUnstallBufferSizeInSeconds = 0.5;
  config.stallBufferSizeInSeconds = 0.1;
  config.firstFetchSizeInSeconds = 1.0;
  config.abrSelectorType = kQNVAbrSelectorTypeHighest;
  return config;
}

class DashPlayerFixture : public LoopbackFetchFixture {
 protected:
  explicit DashPlayerFixture(const char* name) : LoopbackFetchFixture(name) {}
  ~DashPlayerFixture() override {
    onQueue([this] { asset_.reset(); });
  }

  // Serves every file of the shape's folder under "/dash/<shape>/", with
  // `faulty` answered with `fault`.
  void serve(const std::string& shape, const std::string& faulty = "",
             testserver::RangeFault fault = testserver::RangeFault::kNone) {
    for (const auto& entry : std::filesystem::directory_iterator(dashDir() + "/" + shape)) {
      const std::string name = entry.path().filename().string();
      auto bytes = std::make_shared<const std::string>(fileText(entry.path().string()));
      testserver::RangeFileOptions options;
      if (name == faulty) options.fault = fault;
      server_.on("/dash/" + shape + "/" + name, testserver::serveRangeFile(bytes, options));
    }
  }

  // Makes the asset for the manifest at `path` and waits for its load.
  void loadAsset(const std::string& path, const QNVDashAssetConfig& config = playbackConfig()) {
    asset_ = QNVDashAsset::initWithConfig(config, "", platform::URL::parse(server_.url(path)), nullptr);
    asset_->resourceLoader()->setDelegate(fetcher_, platform::DispatchQueue::global(), std::string("dash-video"),
                                          std::nullopt, std::nullopt);
    auto loaded = std::make_shared<std::atomic<bool>>(false);
    asset_->loadValuesAsynchronouslyForKeys({"duration"}, [loaded] { loaded->store(true); });
    ASSERT_TRUE(waitUntil([&] { return loaded->load(); }));
  }

  QNVItemPlayback playback() const { return {asset_, asset_.get(), clock_.get()}; }

  TempDir dir_;
  std::shared_ptr<QNVDashAsset> asset_;
};

}  // namespace plexora::testing
