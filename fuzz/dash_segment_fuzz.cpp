// Feeds arbitrary bytes to the DASH asset as the segments of a one-track
// on-demand stream (SegmentTemplate, two segments): the asset fetches its
// init segment and media segments from an in-memory fetcher, parses their
// boxes and hands out frames as the player pulls them. No input may crash
// it or hang it: the load ends exactly once, loaded or failed with an
// error, and frames come out until the input's bytes run out.
//
// Input: two bytes (big-endian) of init-segment length, two bytes of first
// media segment length, then the init segment, the first media segment and
// the second media segment (the rest). Seeds: a real stream's segments
// (fuzz/corpus/dash_segment_fuzz), some with damaged boxes.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "util/qnv/asset/QNVAssetResourceLoader.h"
#include "util/qnv/core/QNVMediaStateQueue.h"
#include "util/qnv/dash/QNVDashAsset.h"

using namespace plexora;

namespace {

constexpr const char* kManifest = R"(<?xml version="1.0" encoding="utf-8"?>
<MPD xmlns="urn:mpeg:dash:schema:mpd:2011" type="static" mediaPresentationDuration="PT3.0S" minBufferTime="PT3.0S">
  <Period id="0" start="PT0.0S">
    <AdaptationSet id="0" contentType="video">
      <Representation id="0" mimeType="video/mp4" codecs="avc1.4d400b" bandwidth="41682" width="160" height="90">
        <SegmentTemplate timescale="15360" initialization="init.m4s" media="seg-$Time$.m4s" startNumber="1">
          <SegmentTimeline>
            <S t="0" d="23040" />
            <S t="23040" d="23040" />
          </SegmentTimeline>
        </SegmentTemplate>
      </Representation>
    </AdaptationSet>
  </Period>
</MPD>
)";
constexpr const char* kManifestUrl = "http://fuzz.test/dash/manifest.mpd";
// Real time the load, or the frames after it, may take before the run
// counts as hung.
constexpr auto kHangLimit = std::chrono::seconds(10);
constexpr int kMaximumFrames = 10'000;
// A track whose next frame is not there after this long waits for bytes the
// input does not hold: the run is over.
constexpr auto kStarvedAfter = std::chrono::milliseconds(100);

void require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "dash_segment_fuzz: %s\n", what);
  std::abort();
}

// Serves the three files from memory, whole or by the range asked for.
class MemoryFetcher final : public QNVAssetResourceLoaderDelegate {
 public:
  MemoryFetcher(std::string init, std::string first, std::string second)
      : init_(std::move(init)), first_(std::move(first)), second_(std::move(second)) {}

  void resourceLoaderLoadRequest(const std::shared_ptr<QNVAssetResourceLoader>&,
                                 const std::shared_ptr<QNVAssetResourceLoadingRequest>& request) override {
    const std::string& url = request->request().url;
    const std::string path = url.substr(url.rfind('/') + 1);
    const std::string* file = path == "init.m4s" ? &init_ : path == "seg-0.m4s" ? &first_ : &second_;
    if (path != "init.m4s" && path != "seg-0.m4s" && path != "seg-23040.m4s") {
      request->finishLoadingWithError(platform::Error("fuzz", 404));
      return;
    }
    const auto data = request->dataRequest();
    const auto offset = static_cast<size_t>(std::max<int64_t>(0, data->requestedOffset()));
    const size_t available = offset < file->size() ? file->size() - offset : 0;
    const size_t length = data->requestedLength() > 0
                              ? std::min(available, static_cast<size_t>(data->requestedLength()))
                              : available;
    if (auto information = request->contentInformationRequest()) {
      information->setContentLength(static_cast<int64_t>(file->size()));
    }
    data->respondWithData(platform::ByteView(reinterpret_cast<const uint8_t*>(file->data()) + offset, length));
    request->finishLoading();
  }
  void resourceLoaderCancelLoadingRequest(const std::shared_ptr<QNVAssetResourceLoader>&,
                                          const std::shared_ptr<QNVAssetResourceLoadingRequest>&) override {}
  bool resourceLoaderHasPrefetchedDataForUrl(const std::shared_ptr<QNVAssetResourceLoader>&,
                                             const platform::URL&) override {
    return false;
  }

 private:
  const std::string init_;
  const std::string first_;
  const std::string second_;
};

QNVDashAssetConfig config() {
  QNVDashAssetConfig settings;
  settings.fetchBufferSizeInSeconds = 10.0;
  settings.unstallBufferSizeInSeconds = 0.5;
  settings.firstUnstallBufferSizeInSeconds = 0.5;
  settings.stallBufferSizeInSeconds = 0.1;
  settings.firstFetchSizeInSeconds = 1.0;
  settings.shouldFailOnFailedMoofParse = true;
  // A download that ends without the headers parsed fails the load: the
  // input holds all the bytes there will be.
  settings.shouldCheckAllHeadersParsedAtDownloadComplete = true;
  return settings;
}

template <typename Condition>
bool settlesWithin(Condition done) {
  const auto deadline = std::chrono::steady_clock::now() + kHangLimit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QNVMediaStateQueue()->sync([] {});
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

size_t lengthAt(const uint8_t* data) { return static_cast<size_t>(data[0]) << 8 | data[1]; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const size_t initLength = std::min(lengthAt(data), size - 4);
  const size_t firstLength = std::min(lengthAt(data + 2), size - 4 - initLength);
  const char* bytes = reinterpret_cast<const char*>(data + 4);
  auto fetcher = std::make_shared<MemoryFetcher>(std::string(bytes, initLength),
                                                 std::string(bytes + initLength, firstLength),
                                                 std::string(bytes + initLength + firstLength,
                                                             size - 4 - initLength - firstLength));
  auto asset = QNVDashAsset::initWithConfig(config(), kManifest, platform::URL::parse(kManifestUrl), nullptr);
  asset->resourceLoader()->setDelegate(fetcher, platform::DispatchQueue::global(), std::string("fuzz"), std::nullopt,
                                       std::nullopt);
  auto loads = std::make_shared<std::atomic<int>>(0);
  asset->loadValuesAsynchronouslyForKeys({"duration"}, [loads] { loads->fetch_add(1); });
  require(settlesWithin([&] { return loads->load() > 0; }), "the load never ended");

  bool failed = false;
  QNVMediaStateQueue()->sync([&] {
    std::optional<platform::Error> error;
    const auto status = asset->statusOfValueForKey("duration", &error);
    failed = status == kQNVKeyValueStatusFailed;
    require(!failed || error.has_value(), "a failed load without an error");
  });
  // Pulls frames as the synchronous player does, until each track runs dry
  // or starves, or the asset fails.
  int frames = 0;
  for (QNVTrackIndex track : {kQNVVideoTrack, kQNVAudioTrack}) {
    bool more = !failed;
    auto lastFrame = std::chrono::steady_clock::now();
    while (more && frames < kMaximumFrames && std::chrono::steady_clock::now() - lastFrame < kStarvedAfter) {
      bool advanced = false;
      QNVMediaStateQueue()->sync([&] {
        more = asset->status() != kQNVAssetStatusFailed && asset->containsTrack(track) &&
               asset->trackHasMoreFrames(track);
        if (!more) return;
        const QNVFrameMetadata frame = asset->currentFrameMetadataForTrack(track);
        // No bytes yet is an answer too: the frame waits for them.
        if (frame.isEmpty() || asset->currentFrameDataForTrack(track) == nullptr) return;
        asset->advanceFrameForTrack(track);
        advanced = true;
        ++frames;
      });
      if (advanced) {
        lastFrame = std::chrono::steady_clock::now();
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    }
  }
  require(loads->load() == 1, "the load handler ran more than once");
  QNVMediaStateQueue()->sync([&] { asset.reset(); });
  return 0;
}
