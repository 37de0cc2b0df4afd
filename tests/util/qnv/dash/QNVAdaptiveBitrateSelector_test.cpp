#include <gtest/gtest.h>

#include <set>

#include "support/qnv/QNVExpectedSoftAssertions.h"
#include "util/RuntimeTestSupport.h"
#include "util/qnv/dash/QNVAdaptiveBitrateSelector.h"
#include "util/qnv/dash/QNVDashManifestFixtures.h"

namespace plexora {
namespace {

using testing::RuntimeLogCapture;

class FixedBandwidth final : public QNVBandwidthProvider {
 public:
  explicit FixedBandwidth(double bitsPerSecond) : bitsPerSecond_(bitsPerSecond) {}
  int64_t downloadBandwidthQuality() const override { return 0; }
  double downloadBandwidthEstimateBitsPerSecond() const override { return bitsPerSecond_; }
  double downloadLatencyInSecond() const override { return 0; }

 private:
  double bitsPerSecond_;
};

struct Rep {
  std::string id;
  uint32_t bandwidth;
  uint32_t width = 0;
  uint32_t height = 0;
};

struct Offer {
  QNVRepresentationPropertiesById metadata;
  std::vector<std::string> ids;
};

Offer offer(const std::vector<Rep>& reps) {
  Offer o;
  for (const Rep& rep : reps) {
    o.metadata.insert_or_assign(
        rep.id, QNVDashRepresentationProperties(rep.id, rep.bandwidth, rep.id + "q", rep.width, rep.height));
    o.ids.push_back(rep.id);
  }
  return o;
}

std::optional<std::string> choose(QNVAdaptiveBitrateSelector& selector, const std::vector<Rep>& reps,
                                  const char* defaultId = "default") {
  const Offer o = offer(reps);
  return selector.selectRepresentationIdFromMetadata(o.metadata, o.ids, std::string(defaultId));
}

TEST(QNVAdaptiveBitrateSelector, RulesByType) {
  const struct {
    const char* name;
    int64_t type;
    double estimate;
    std::vector<Rep> reps;
    const char* chosen;
    // The default id that no offered representation has is looked up all
    // the same, and the engine says so.
    bool defaultIdUnknown = false;
  } cases[] = {
      {"default: first ending in d", kQNVAbrSelectorTypeDefault, 0, {{"1080v", 3}, {"720d", 2}, {"480d", 1}}, "720d"},
      {"default: none ends in d", kQNVAbrSelectorTypeDefault, 0, {{"a", 1}, {"b", 2}}, "default", true},
      {"bandwidth: highest within",
       kQNVAbrSelectorTypeBandwidth,
       2000000,
       {{"a", 1500000}, {"b", 800000}, {"c", 900000}, {"d", 1000000}},
       "d"},
      {"bandwidth: none within, lowest", kQNVAbrSelectorTypeBandwidth, 2000000, {{"a", 3000000}, {"b", 2000000}}, "b"},
      {"bandwidth: equal keeps the earliest",
       kQNVAbrSelectorTypeBandwidth,
       2000000,
       {{"x", 500000}, {"y", 500000}},
       "x"},
      {"bandwidth: no estimate acts as default", kQNVAbrSelectorTypeBandwidth, 0, {{"a", 1}, {"bd", 2}}, "bd"},
      {"highest: equal takes the later", kQNVAbrSelectorTypeHighest, 0, {{"a", 5}, {"b", 9}, {"c", 9}}, "c"},
      {"one id is answered as is", kQNVAbrSelectorTypeHighest, 0, {{"only", 1}}, "only"},
      {"unknown type falls back to the default id", 7, 0, {{"a", 1}, {"b", 2}}, "default", true},
  };
  for (const auto& c : cases) {
    QNVAdaptiveBitrateSelector selector(c.type, 0, QNVAbrParameters{0.5}, std::make_shared<FixedBandwidth>(c.estimate),
                                        1);
    testing::QNVExpectedSoftAssertions expected;
    EXPECT_EQ(choose(selector, c.reps), c.chosen) << c.name;
    EXPECT_EQ(expected.sawReason("Property data unavailable for selected representation: default"),
              c.defaultIdUnknown)
        << c.name;
  }
  QNVAdaptiveBitrateSelector selector(kQNVAbrSelectorTypeHighest, 0, {}, nullptr, 1);
  EXPECT_EQ(selector.selectRepresentationIdFromMetadata({}, {}, std::string("d")), std::nullopt);
}

TEST(QNVAdaptiveBitrateSelector, BandwidthTypeSetup) {
  RuntimeLogCapture log;
  QNVAdaptiveBitrateSelector withoutProvider(kQNVAbrSelectorTypeBandwidth, 0, {0.5}, nullptr);
  EXPECT_EQ(withoutProvider.type(), kQNVAbrSelectorTypeDefault);
  EXPECT_TRUE(log.contains("SelectorTypeBandwidth with nil BandwidthProvider"));

  // A fraction outside (0, 1] becomes one half: 2,000,000 * 0.5 admits the
  // 1,000,000 representation and not the 1,500,000 one.
  for (const double fraction : {0.0, -1.0, 1.5}) {
    QNVAdaptiveBitrateSelector selector(kQNVAbrSelectorTypeBandwidth, 0, {fraction},
                                        std::make_shared<FixedBandwidth>(2000000));
    EXPECT_EQ(choose(selector, {{"a", 1500000}, {"b", 1000000}}), "b") << fraction;
    EXPECT_EQ(selector.lastBandwidthEstimateInBitsPerSecond(), 2000000.0);
  }
  EXPECT_EQ(log.count("invalid percentageOfAvailableBandwidthToUse, defaulting to 0.5"), 3U);
  QNVAdaptiveBitrateSelector full(kQNVAbrSelectorTypeBandwidth, 0, {1.0}, std::make_shared<FixedBandwidth>(2000000));
  EXPECT_EQ(choose(full, {{"a", 1500000}, {"b", 1000000}}), "a");
}

TEST(QNVAdaptiveBitrateSelector, ScreenFilterStepsDownToWhatCoversTheScreen) {
  const std::vector<Rep> reps = {
      {"4k", 9000, 3840, 2160}, {"1080", 5000, 1920, 1080}, {"1440", 7000, 2560, 1440}, {"720", 3000, 1280, 720}};
  const struct {
    const char* name;
    std::vector<Rep> reps;
    const char* chosen;
  } cases[] = {
      {"larger steps down", reps, "1080"},
      {"exact screen is kept", {{"1080", 9000, 1920, 1080}, {"720", 3000, 1280, 720}}, "1080"},
      {"smaller is kept", {{"720", 9000, 1280, 720}, {"480", 1, 854, 480}}, "720"},
      {"nothing covers: kept", {{"4k", 9000, 3840, 2160}}, "4k"},
  };
  for (const auto& c : cases) {
    QNVAdaptiveBitrateSelector selector(kQNVAbrSelectorTypeHighest, kQNVAbrFilterScreenResolution, {}, nullptr, 1);
    {
      testing::QNVExpectedSoftAssertions expected;
      selector.forTestingOverrideScreenWidth(1080, 1920);
      EXPECT_TRUE(expected.sawReason("Test method called outside of testing"));
    }
    EXPECT_EQ(choose(selector, c.reps), c.chosen) << c.name;
  }
}

TEST(QNVAdaptiveBitrateSelector, RandomIsUniformAndSeedable) {
  const std::vector<Rep> reps = {{"a", 1}, {"b", 2}, {"c", 3}};
  std::vector<std::string> first;
  std::vector<std::string> again;
  std::set<std::string> seen;
  QNVAdaptiveBitrateSelector one(kQNVAbrSelectorTypeRandom, 0, {}, nullptr, 42);
  QNVAdaptiveBitrateSelector two(kQNVAbrSelectorTypeRandom, 0, {}, nullptr, 42);
  for (int i = 0; i < 60; ++i) {
    first.push_back(*choose(one, reps));
    again.push_back(*choose(two, reps));
    seen.insert(first.back());
  }
  EXPECT_EQ(first, again);
  EXPECT_EQ(seen.size(), 3U);
}

TEST(QNVAdaptiveBitrateSelector, TrackChoiceFollowsTheManifestOrder) {
  const std::string timeline = testing::timelineOf(0, 2000, 1);
  const auto mpd = QNVMediaPresentationDescription::presentationDescriptionWithContentsOfXml(
      testing::mpdDocument(
          testing::adaptationSet(testing::segmentTemplateRepresentation("z", "video/mp4", 700, timeline) +
                                 testing::segmentTemplateRepresentation("a", "video/mp4", 700, timeline) +
                                 testing::segmentTemplateRepresentation("m", "video/mp4", 100, timeline))),
      platform::URL::parse("http://h.test/m.mpd"), 10, false, nullptr);
  ASSERT_TRUE(mpd);
  // Equal highest bandwidths: the later in the manifest, whatever the ids'
  // sort order.
  QNVAdaptiveBitrateSelector highest(kQNVAbrSelectorTypeHighest, 0, {}, nullptr, 1);
  const QNVDashTrackMetadata* track = highest.selectVideoTrackFromList(mpd->videoTracks());
  ASSERT_NE(track, nullptr);
  EXPECT_EQ(track->representationId(), "a");
  EXPECT_EQ(highest.selectVideoTrackFromList({}), nullptr);
  EXPECT_EQ(QNVValidatedSelectorType(3), kQNVAbrSelectorTypeRandom);
  EXPECT_EQ(QNVValidatedSelectorType(4), kQNVAbrSelectorTypeDefault);
}

class PrefetchedUrls final : public QNVAssetResourceLoaderDelegate {
 public:
  explicit PrefetchedUrls(std::set<std::string> urls) : urls_(std::move(urls)) {}
  void resourceLoaderLoadRequest(const std::shared_ptr<QNVAssetResourceLoader>&,
                                 const std::shared_ptr<QNVAssetResourceLoadingRequest>&) override {}
  void resourceLoaderCancelLoadingRequest(const std::shared_ptr<QNVAssetResourceLoader>&,
                                          const std::shared_ptr<QNVAssetResourceLoadingRequest>&) override {}
  bool resourceLoaderHasPrefetchedDataForUrl(const std::shared_ptr<QNVAssetResourceLoader>&,
                                             const platform::URL& url) override {
    return urls_.contains(url.absoluteString());
  }

 private:
  std::set<std::string> urls_;
};

TEST(QNVAdaptiveBitrateSelector, PrefersWhatIsAlreadyPrefetched) {
  const auto url = platform::URL::parse("http://h.test/m.mpd");
  const auto vod = QNVMediaPresentationDescription::presentationDescriptionWithContentsOfXml(
      testing::mpdDocument(
          testing::adaptationSet(testing::segmentBaseRepresentation("lo", "video/mp4", 640, 360, 1, "lo.mp4") +
                                 testing::segmentBaseRepresentation("hi", "video/mp4", 1280, 720, 2, "hi.mp4"))),
      url, 10, false, nullptr);
  const auto live = QNVMediaPresentationDescription::presentationDescriptionWithContentsOfXml(
      testing::mpdDocument(testing::adaptationSet(
          testing::segmentTemplateRepresentation("lo", "video/mp4", 1, testing::timelineOf(0, 2000, 2)) +
          testing::segmentTemplateRepresentation("hi", "video/mp4", 2, testing::timelineOf(0, 2000, 2),
                                                 "<BaseURL>hi/</BaseURL>"))),
      url, 10, false, nullptr);
  ASSERT_TRUE(vod && live);
  auto resourceLoader = std::make_shared<QNVAssetResourceLoader>();
  auto fetcher =
      std::make_shared<PrefetchedUrls>(std::set<std::string>{"http://h.test/hi.mp4", "http://h.test/hi/seg-2000.m4s"});
  resourceLoader->setDelegate(fetcher, nullptr, std::nullopt, std::nullopt, std::nullopt);
  QNVAdaptiveBitrateSelector selector(kQNVAbrSelectorTypeDefault, 0, {}, nullptr, 1);
  const auto* fromVod = selector.ifAvailableSelectPrefetchedVideoTrackFromMpd(*vod, resourceLoader);
  ASSERT_NE(fromVod, nullptr);
  EXPECT_EQ(fromVod->representationId(), "hi");
  const auto* fromLive = selector.ifAvailableSelectPrefetchedVideoTrackFromMpd(*live, resourceLoader);
  ASSERT_NE(fromLive, nullptr);
  EXPECT_EQ(fromLive->representationId(), "hi");
  EXPECT_EQ(selector.ifAvailableSelectPrefetchedVideoTrackFromMpd(*vod, std::make_shared<QNVAssetResourceLoader>()),
            nullptr);
}

}  // namespace
}  // namespace plexora
